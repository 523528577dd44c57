#include "tests/packaging/PackagingText.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> ManSection(const std::string& page, const std::string& name) {
    std::istringstream in(page);
    std::vector<std::string> lines;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) == 0) {
            inside = line == "# " + name;
            continue;
        }
        if (inside) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> ManTerms(const std::vector<std::string>& section) {
    static const std::regex bold(R"(^\*([^*]+)\*(, )?)");
    std::vector<std::string> terms;
    for (const std::string& line : section) {
        std::smatch match;
        for (std::string rest = line; std::regex_search(rest, match, bold);
             rest = match.suffix().str()) {
            terms.push_back(match[1].str());
        }
    }
    return terms;
}

std::string PlainSynopsis(const std::string& line) {
    std::string plain;
    for (const char c : line) {
        if (c != '*') {
            plain += c;
        }
    }
    if (plain.size() >= 2 && plain.compare(plain.size() - 2, 2, "++") == 0) {
        plain.resize(plain.size() - 2);
    }
    return plain;
}

std::set<std::string> OptionsNamed(const std::string& text) {
    static const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z0-9-]*))");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it) {
        names.insert((*it)[2].str());
    }
    return names;
}

std::set<std::string> OptionEntries(const std::string& text) {
    static const std::regex entry(R"(^ {2,6}(-[A-Za-z], )?(--[a-z][a-z0-9-]*))");
    std::istringstream in(text);
    std::set<std::string> names;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_search(line, match, entry)) {
            names.insert(match[2].str());
        }
    }
    return names;
}
