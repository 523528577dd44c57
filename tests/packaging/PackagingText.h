#pragma once

// Reading the texts the packages ship (scdoc man pages, --help) for what they name, so that a
// test can hold them against the code they describe.

#include <set>
#include <string>
#include <vector>

// The whole file; empty when it cannot be read.
std::string ReadText(const std::string& path);

// The lines of a man page's section "# NAME", up to the next section.
std::vector<std::string> ManSection(const std::string& page, const std::string& name);

// The terms a section lists, in order: the bold words at the start of its term lines
// ("*--port* PORT" gives "--port", "*-p*, *--port*" both, "*[slots]*" itself).
std::vector<std::string> ManTerms(const std::vector<std::string>& section);

// A synopsis line as it reads on the page: scdoc's bold and line-break marks taken out.
std::string PlainSynopsis(const std::string& line);

// Every option a text names ("--port", "--capture-max"), wherever it names it.
std::set<std::string> OptionsNamed(const std::string& text);

// The long options a --help text lists as entries of their own: the lines that start with one,
// indented by at most six columns ("  -p, --port PORT", "      --ini FILE").
std::set<std::string> OptionEntries(const std::string& text);
