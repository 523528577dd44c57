#pragma once

// Where an operator's scan goes, under a job that requires each box's scan. A scanner types like
// a keyboard, one line a scan, into one field for the whole station (or a line on standard
// input, or the control socket), and the desk keeps which slot the next scan goes to:
//   - "SLOT:A3" (the job's prefix, in any case) selects slot A3 for the next scan;
//   - "A3 SN4711" gives box SN4711 to slot A3;
//   - "SN4711" gives it to the selected slot, or else the first that waits for a scan.
// After a box is given, the selection moves on to the next slot, in the station's order, that
// still waits for one. A scan that is empty, longer than kMostChars, names an unknown slot or a
// slot that does not wait, or finds no slot waiting, is refused with why and changes nothing.
//
// Threading rules: one thread (the station's supervisor); plain logic.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What became of one scan, for whoever shows it: accepted or refused, the slot it went to (empty
// when none), and a line for the operator ("A3: box SN4711 scanned", "scan refused: no slot
// waits for a scan"), every scanned text in it shown safely.
struct ScanNews {
    bool refused = false;
    std::string slot;
    std::string text;
};

struct ScanRoute {
    enum class Kind { Select, Box, Refused };
    Kind kind = Kind::Refused;
    std::size_t slot = 0;
    std::string id;   // Box: the box's id as scanned
    std::string why;  // Refused
};

class ScanDesk {
  public:
    static constexpr std::size_t kMostChars = 128;

    // `labels`: the slots' names in the station's order.
    ScanDesk(std::vector<std::string> labels, std::string slotPrefix);

    // Where `scan` goes, given which slots wait for a scan now (`waits[i]` for slot i). A
    // selection takes effect at once; a box only once the station has given it (Given).
    ScanRoute Route(std::string_view scan, const std::vector<bool>& waits);
    // Slot `slot` has been given its box: the selection moves on past it.
    void Given(std::size_t slot, std::vector<bool> waits);
    // The slot the next scan without a slot's name goes to; nothing while none waits.
    std::optional<std::size_t> Target(const std::vector<bool>& waits) const;

  private:
    std::optional<std::size_t> Named(std::string_view name) const;
    std::optional<std::size_t> FirstFrom(std::size_t from, const std::vector<bool>& waits) const;

    std::vector<std::string> m_labels;
    std::string m_prefix;
    std::optional<std::size_t> m_selected;
};

// How a station takes scans, as its job says.
struct ScanPolicy {
    bool required = false;             // scan = "required"
    std::string slotPrefix = "SLOT:";  // scan_prefix: a slot's own label
    bool blockRepeats = false;         // repeats = "block"

    bool operator==(const ScanPolicy&) const = default;
};
