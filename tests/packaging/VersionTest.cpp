// Every program the packages ship names the same build with --version, without a display; the
// desktop programs answer --help without one too.

#include <gtest/gtest.h>

#include <regex>

#include "record/ToolVersion.h"
#include "tests/support/process/ChildProcess.h"
#include "version/BuildVersion.h"

namespace {

std::string Program(const std::string& name) {
    return std::string(STAVEL_BINARY_DIR) + "/bin/" + name;
}

TEST(Version, IsTheProductsNumberAndTheHistoryItWasBuiltFrom) {
    const std::string version = kBuildVersion;
    // Records keep the product's number alone, so that one job's records compare alike.
    EXPECT_EQ(version.rfind(kToolVersion, 0), 0u) << version;
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(1\.0\.0\.1(\+git[0-9]+\.[0-9a-f]{7,})?)")))
        << version;
}

TEST(Version, EveryProgramPrintsItWithoutADisplay) {
    std::vector<std::string> programs{"stavel", "stbsim"};
#ifdef STAVEL_WITH_DESKTOP
    programs.insert(programs.end(), {"Stavel_OV", "Stavel_Station"});
#endif
    for (const std::string& name : programs) {
        ChildProcess program({Program(name), "--version"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
        const ChildProcess::End end = program.Wait();
        EXPECT_TRUE(end.exited && end.status == 0) << name << ": " << program.Stderr();
        EXPECT_EQ(program.Stdout(), name + " " + kBuildVersion + "\n");
    }
}

#ifdef STAVEL_WITH_DESKTOP
TEST(Version, TheDesktopProgramsAnswerHelpWithoutADisplay) {
    for (const std::string name : {"Stavel_OV", "Stavel_Station"}) {
        ChildProcess program({Program(name), "--help"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
        const ChildProcess::End end = program.Wait();
        EXPECT_TRUE(end.exited && end.status == 0) << name << ": " << program.Stderr();
        EXPECT_EQ(program.Stdout().rfind("Usage: " + name, 0), 0u) << program.Stdout();
        EXPECT_NE(program.Stdout().find("--version"), std::string::npos);
    }
}
#endif

}  // namespace
