#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/codepage/CodeSet.h"
#include "platform/host/ModulePath.h"
#include "settings/FilePath.h"
#include "settings/IniLocation.h"
#include "tests/support/codepage/CodeSetGuard.h"
#include "tests/support/files/TempDir.h"

namespace {

std::string Dir(const char* path) {
    return CFilePath(path).GetDirectory();
}

// Sets an environment variable for one test and puts the old value back.
struct EnvGuard {
    EnvGuard(const char* name, const std::string& value) : name(name) {
        if (const char* was = std::getenv(name)) {
            old = was;
        }
        setenv(name, value.c_str(), 1);
    }
    ~EnvGuard() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

}  // namespace

TEST(FilePath, GetDirectoryCutsAtTheLastSeparatorFromPositionTwoOn) {
    EXPECT_EQ(Dir("C:\\x.exe"), "C:");
    EXPECT_EQ(Dir("\\x.exe"), "");
    EXPECT_EQ(Dir("/opt/stavel/Stavel_OV"), "/opt/stavel");
    EXPECT_EQ(Dir("/x"), "");
    EXPECT_EQ(Dir(""), "");

    // In code page 949 a trail byte 0x5C is no backslash.
    CodeSetGuard korean(CodeSet::Cp949);
    EXPECT_EQ(Dir("C:\\Tools\\\x81\x5Cx.exe"), "C:\\Tools");
}

TEST(FilePath, TheIniFileLiesBesideTheProgramWhereItsFolderCanBeWritten) {
    TempDir dir;
    EXPECT_EQ(IniPathBeside(dir.File("Stavel_OV")), dir.File("Stavel_OV.ini"));

    const std::string self = ModuleFileName();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.front(), '/');
    EXPECT_EQ(self.substr(self.rfind('/') + 1), "test_settings");
    EXPECT_LE(self.size(), 259u);
}

TEST(FilePath, AnUnwritableProgramFolderSendsTheFileToTheConfigFolder) {
    TempDir dir;
    EnvGuard config("XDG_CONFIG_HOME", dir.File("config"));
    // A folder that does not exist cannot be written, whoever runs the test.
    const std::string program = dir.File("gone/bin/Stavel_OV");
    EXPECT_EQ(IniFallbackFolder(), dir.File("config/Stavel_OV"));
    EXPECT_EQ(IniPathBeside(program), dir.File("config/Stavel_OV/Stavel_OV.ini"));
    struct stat st {};
    EXPECT_EQ(stat(dir.File("config/Stavel_OV").c_str(), &st), 0) << "the folder is created";

    // An installed program never writes beside itself, not even for the superuser.
    EXPECT_EQ(IniPathBeside("/usr/bin/Stavel_OV"), dir.File("config/Stavel_OV/Stavel_OV.ini"));
    EXPECT_EQ(IniPathBeside("/usr/local/bin/Stavel_OV"),
              dir.File("config/Stavel_OV/Stavel_OV.ini"));

    {
        EnvGuard relative("XDG_CONFIG_HOME", "relative/path");
        EnvGuard home("HOME", dir.File("home"));
        EXPECT_EQ(IniPathBeside(program), dir.File("home/.config/Stavel_OV/Stavel_OV.ini"));
    }
}

// Run as a user who cannot write the program's folder (the superuser writes any folder).
TEST(FilePath, TheFallbackStartsFromTheSettingsBesideTheProgram) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    EnvGuard config("XDG_CONFIG_HOME", dir.File("config"));
    const std::string saved = "[Gerneral]\r\nCOM Port Number=3\r\n\r\n\r\n";
    ASSERT_EQ(mkdir(dir.File("bin").c_str(), 0755), 0);
    WriteBytes(dir.File("bin/Stavel_OV.ini"), saved);
    ASSERT_EQ(chmod(dir.File("bin").c_str(), 0555), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) {
            _exit(99);
        }
        const std::string path = IniPathBeside(dir.File("bin/Stavel_OV"));
        _exit(path != dir.File("config/Stavel_OV/Stavel_OV.ini") ? 1
              : ReadBytes(path) != saved                         ? 2
                                                                 : 0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not the config folder, 2: the settings not copied";
}
