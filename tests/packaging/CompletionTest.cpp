// The bash completion, sourced into a real bash and asked as bash asks it (COMP_LINE and the
// cursor), against the real `stavel --list-ports`: options, job files, serial ports.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/packaging/PackagingText.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/process/ChildProcess.h"
#include "tests/support/pty/Pty.h"

namespace {

const std::string kStavel = std::string(STAVEL_BINARY_DIR) + "/bin/stavel";

// What bash would offer with the cursor at the end of `line`, one answer a line.
std::vector<std::string> Complete(const std::string& line,
                                  std::vector<std::string> environment = {}) {
    static const char* const kAsk = R"(
source "$1" || exit 3
COMP_LINE=$2
COMP_POINT=${#2}
read -ra COMP_WORDS <<<"$2"
_stavel
printf '%s\n' "${COMPREPLY[@]}"
)";
    ChildProcess bash({"/bin/bash", "--norc", "--noprofile", "-c", kAsk, "bash",
                       std::string(STAVEL_SOURCE_DIR) + "/packaging/completion/stavel", line},
                      std::move(environment));
    const ChildProcess::End end = bash.Wait();
    EXPECT_TRUE(end.exited && end.status == 0) << bash.Stderr();
    EXPECT_EQ(bash.Stderr(), "");
    std::vector<std::string> answers;
    std::istringstream out(bash.Stdout());
    for (std::string answer; std::getline(out, answer);) {
        if (!answer.empty()) {
            answers.push_back(answer);
        }
    }
    return answers;
}

bool Has(const std::vector<std::string>& answers, const std::string& one) {
    return std::find(answers.begin(), answers.end(), one) != answers.end();
}

TEST(Completion, OffersExactlyTheOptionsOfHelp) {
    std::set<std::string> named =
        OptionsNamed(ReadText(std::string(STAVEL_SOURCE_DIR) + "/hosts/cli/usage.txt"));
    named.erase("--opt");  // "--opt VALUE or --opt=VALUE"
    const std::vector<std::string> all = Complete(kStavel + " --");
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), named);
    EXPECT_EQ(Complete(kStavel + " -q --jo"), std::vector<std::string>{"--job"});
    EXPECT_EQ(Complete(kStavel + " --list-ports --a"), std::vector<std::string>{"--all"});
}

TEST(Completion, OffersJobFilesAndFoldersAfterJob) {
    TempDir dir;
    std::ofstream(dir.File("line3.toml")) << "name = \"line3\"\n";
    std::ofstream(dir.File("line3.notes")) << "not a job\n";
    std::filesystem::create_directory(dir.File("older"));
    std::vector<std::string> answers = Complete(kStavel + " --job " + dir.Path() + "/");
    std::sort(answers.begin(), answers.end());
    EXPECT_EQ(answers, (std::vector<std::string>{dir.File("line3.toml"), dir.File("older/")}));
    // After "--job=" bash replaces only what follows the "=".
    EXPECT_EQ(Complete(kStavel + " --check --job=" + dir.File("li")),
              std::vector<std::string>{dir.File("line3.toml")});
    // An image may be any file.
    EXPECT_EQ(Complete(kStavel + " -i " + dir.File("line3.n")),
              std::vector<std::string>{dir.File("line3.notes")});
    EXPECT_EQ(Complete(kStavel + " --count "), std::vector<std::string>{});
}

TEST(Completion, OffersThePortsStavelLists) {
    Pty pty;  // a serial port as far as stavel can tell: COM7 is pointed at it
    const std::vector<std::string> environment{"STAVEL_COM7=" + pty.SlavePath()};
    const std::vector<std::string> answers = Complete(kStavel + " -i fw.sdl -p ", environment);
    EXPECT_TRUE(Has(answers, "COM7")) << ::testing::PrintToString(answers);
    EXPECT_TRUE(Has(answers, pty.SlavePath())) << ::testing::PrintToString(answers);
    // A slot's label stays; bash replaces what follows the "=" with the port.
    const std::vector<std::string> labelled = Complete(kStavel + " -p A1=COM", environment);
    EXPECT_TRUE(Has(labelled, "COM7")) << ::testing::PrintToString(labelled);
    EXPECT_FALSE(Has(labelled, pty.SlavePath()));
    const std::vector<std::string> joined =
        Complete(kStavel + " --port=A2=" + pty.SlavePath().substr(0, 6), environment);
    EXPECT_TRUE(Has(joined, pty.SlavePath())) << ::testing::PrintToString(joined);
}

}  // namespace
