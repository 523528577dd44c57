// The man pages name exactly what the code accepts: every key the job reader knows, every key
// of a record as the schema lists them, every option of --help and its synopsis.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <sstream>

#include "job/Job.h"
#include "tests/packaging/PackagingText.h"
#include "tools/stbsim/StbCommandLine.h"

namespace {

std::string Page(const std::string& name) {
    return ReadText(std::string(STAVEL_SOURCE_DIR) + "/docs/man/" + name + ".scd");
}

std::set<std::string> AsSet(const std::vector<std::string>& items) {
    return {items.begin(), items.end()};
}

// The keys the reader knows, as it lists them when it refuses one it does not.
std::set<std::string> JobKeys() {
    const Result<Job> refused = ParseJob("no_such_key = 1\n", "line.toml");
    EXPECT_FALSE(refused);
    const std::string why = refused ? std::string() : refused.Failure().Describe();
    const std::string lead = "a job knows ";
    const std::size_t at = why.find(lead);
    EXPECT_NE(at, std::string::npos) << why;
    std::set<std::string> keys;
    std::istringstream list(at == std::string::npos ? std::string() : why.substr(at + lead.size()));
    for (std::string key; std::getline(list, key, ',');) {
        key.erase(0, key.find_first_not_of(' '));
        if (key.rfind("and ", 0) == 0) {
            key.erase(0, 4);
        }
        keys.insert(key);
    }
    return keys;
}

// The option lines of --help's "Usage:" block, for the program named PROGRAM there.
std::vector<std::string> UsageLines(const std::string& help, const std::string& program) {
    std::istringstream in(help);
    std::vector<std::string> lines;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "Usage:") {
            inside = true;
        } else if (inside && line.empty()) {
            break;
        } else if (inside) {
            line = std::regex_replace(line, std::regex("PROGRAM"), program);
            lines.push_back(line.substr(line.find_first_not_of(' ')));
        }
    }
    return lines;
}

std::vector<std::string> SynopsisOf(const std::string& page) {
    std::vector<std::string> lines;
    for (const std::string& line : ManSection(page, "SYNOPSIS")) {
        if (!line.empty()) {
            // A continued line is indented under its program's name in either text.
            const std::string plain = PlainSynopsis(line);
            lines.push_back(plain.substr(plain.find_first_not_of(' ')));
        }
    }
    return lines;
}

std::set<std::string> LongTerms(const std::string& page, const std::string& section) {
    std::set<std::string> options;
    for (const std::string& term : ManTerms(ManSection(page, section))) {
        if (term.rfind("--", 0) == 0) {
            options.insert(term);
        }
    }
    return options;
}

TEST(ManPages, TheJobPageNamesEveryKeyTheReaderKnowsAndNoOther) {
    const std::set<std::string> known = JobKeys();
    ASSERT_TRUE(known.count("name") && known.count("[slots]") && known.size() > 10);
    EXPECT_EQ(AsSet(ManTerms(ManSection(Page("stavel-job.5"), "KEYS"))), known);
}

TEST(ManPages, TheRecordPageNamesTheSchemasKeysInTheirOrder) {
    const auto schema = nlohmann::json::parse(
        ReadText(std::string(STAVEL_SOURCE_DIR) + "/docs/record.schema.json"));
    const auto order = schema.at("required").get<std::vector<std::string>>();
    std::set<std::string> properties;
    for (const auto& [key, ignored] : schema.at("properties").items()) {
        properties.insert(key);
    }
    ASSERT_EQ(AsSet(order), properties) << "the schema requires every key it describes";
    EXPECT_EQ(ManTerms(ManSection(Page("stavel-record.5"), "KEYS")), order);
}

TEST(ManPages, StavelsPageAgreesWithItsHelp) {
    const std::string help = ReadText(std::string(STAVEL_SOURCE_DIR) + "/hosts/cli/usage.txt");
    const std::string page = Page("stavel.1");
    EXPECT_EQ(SynopsisOf(page), UsageLines(help, "stavel"));
    std::set<std::string> named = OptionsNamed(help);
    named.erase("--opt");  // "--opt VALUE or --opt=VALUE"
    EXPECT_EQ(LongTerms(page, "OPTIONS"), named);
}

// The command line's page in docs/ opens with the synopsis, as --help gives it.
TEST(ManPages, TheCommandLinePagesSynopsisIsHelps) {
    const std::string help = ReadText(std::string(STAVEL_SOURCE_DIR) + "/hosts/cli/usage.txt");
    std::istringstream page(ReadText(std::string(STAVEL_SOURCE_DIR) + "/docs/command-line.md"));
    std::vector<std::string> block;
    bool inside = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind("```", 0) == 0) {
            if (inside) {
                break;
            }
            inside = true;
        } else if (inside) {
            block.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
        }
    }
    EXPECT_EQ(block, UsageLines(help, "stavel"));
}

TEST(ManPages, StbsimsPageAgreesWithItsHelp) {
    const std::string page = Page("stbsim.1");
    EXPECT_EQ(LongTerms(page, "OPTIONS"), OptionEntries(kStbUsage));
    std::vector<std::string> usage;
    std::istringstream in(kStbUsage);
    for (std::string line; std::getline(in, line) && line.find("stbsim ") != std::string::npos;) {
        line.erase(0, line.find("stbsim "));
        usage.push_back(line);
    }
    EXPECT_EQ(SynopsisOf(page), usage);
}

}  // namespace
