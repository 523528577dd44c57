#pragma once

// Records out of the database for a spreadsheet or another program: CSV with a header and one
// column per record key, nested objects flattened with dotted names ("unit.serial"), arrays as
// their JSON; or JSON Lines, each record exactly as kept.
//
// The CSV's columns are every key the exported records hold, in the order first met (records of
// one schema all give the same order); so the records are read twice, once for the columns and
// once for the rows, and an export of millions never sits in memory.

#include <string>
#include <unordered_set>
#include <vector>

#include "record/Json.h"

class CsvColumns {
  public:
    // Takes the keys of one record (a JSON line); a line that is not an object adds none.
    void Learn(const std::string& line);
    // The header line, ending in "\r\n" as CSV's lines do.
    std::string Header() const;
    // The record's row in these columns, "" where it has no such key; ends in "\r\n".
    std::string Row(const std::string& line) const;
    const std::vector<std::string>& Names() const { return m_names; }

  private:
    std::vector<std::string> m_names;
    std::unordered_set<std::string> m_known;
};

// The record's leaves as (dotted name, text) in the record's order: a string as it is, a number
// or a boolean as JSON writes it, null as nothing, an array as its JSON.
std::vector<std::pair<std::string, std::string>> FlatFields(const Json& record);

// `text` as one CSV field: quoted, with its quotes doubled, when it holds a comma, a quote, a
// line break or spaces at its ends.
std::string CsvField(const std::string& text);
