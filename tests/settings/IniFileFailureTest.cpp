#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#include "platform/base/Sys.h"
#include "platform/codepage/TextConversion.h"
#include "settings/IniFile.h"
#include "tests/support/files/TempDir.h"

namespace {

std::string CannotOpen(const std::string& path) {
    return FromUtf8("파일(" + path + ")을 열 수 없습니다.");
}

}  // namespace

TEST(IniFileFailure, AnEmptyFileNameFailsBothWaysAndTheStoreGoesOnInMemory) {
    CIniFile ini;
    EXPECT_EQ(ini.Open(""), 0);
    EXPECT_EQ(ini.m_strError, FromUtf8("파일명이 누락되었습니다."));
    EXPECT_EQ(ini.SetString("s", "k", "v"), 1) << "a failed save is not the caller's problem";
    EXPECT_EQ(ini.m_strError, FromUtf8("파일명이 누락되었습니다."));
    EXPECT_EQ(ini.GetString("S", "K", "d"), "v");
    EXPECT_EQ(ini.Save(), 0);
}

TEST(IniFileFailure, AMissingFolderFailsAndALaterSaveTriesAgain) {
    TempDir dir;
    const std::string path = dir.File("not-yet/x.ini");
    CIniFile ini;
    EXPECT_EQ(ini.Open(path), 0);
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1) << "defaults still answer";
    EXPECT_EQ(ini.m_strError, CannotOpen(path));

    ASSERT_EQ(mkdir(dir.File("not-yet").c_str(), 0700), 0);
    EXPECT_EQ(ini.SetInt("Gerneral", "COM Port Number", 2), 1);
    EXPECT_EQ(ini.m_strError, "") << "a successful save empties the error";
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nCOM Port Number=2\r\n\r\n\r\n");

    // A path through a file is no folder at all.
    CIniFile through;
    EXPECT_EQ(through.Open(path + "/y.ini"), 0);
    EXPECT_EQ(through.Save(), 0);
}

TEST(IniFileFailure, AReadOnlyFileIsNeitherReadNorReplaced) {
    TempDir dir;
    const std::string path = dir.File("ro.ini");
    const std::string frozen = "[Gerneral]\r\nCOM Port Number=4\r\n\r\n\r\n";
    WriteBytes(path, frozen);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);

    CIniFile ini;
    EXPECT_EQ(ini.Open(path), 0);
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_TRUE(ini.Entries().empty());
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1) << "the tool runs on its defaults";
    EXPECT_EQ(ini.SetString("Gerneral", "SdlFileName", "/x.sdl"), 1);
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_EQ(ini.Save(), 0);
    EXPECT_EQ(ReadBytes(path), frozen);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);

    // Loading a read-only file empties a table that was full.
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    CIniFile loaded;
    ASSERT_EQ(loaded.Open(path), 1);
    EXPECT_EQ(loaded.Entries().size(), 1u);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(loaded.Load(), 0);
    EXPECT_TRUE(loaded.Entries().empty());
}

namespace {

// Runs `body` as a user who is not the superuser (who may write anywhere): in a child that
// gives up root when the test runs as root. Answers the child's exit status.
template <typename Body>
int AsPlainUser(uid_t uid, Body body) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(uid) != 0 || setuid(uid) != 0)) {
            _exit(99);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

}  // namespace

TEST(IniFileFailure, SavingKeepsPermissionsAndLinksAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("Stavel_OV.ini");
    WriteBytes(real, "");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.ini", link.c_str()), 0);

    CIniFile ini;
    ASSERT_EQ(ini.Open(link), 1);
    ini.SetInt("Gerneral", "COM Port Number", 9);
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is kept, its target replaced";
    EXPECT_EQ(ReadBytes(real), "[Gerneral]\r\nCOM Port Number=9\r\n\r\n\r\n");
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    EXPECT_EQ(FilesIn(dir.Path()).size(), 2u);

    // Another owner's file is replaced with its owner kept (only the superuser can give a file
    // away). A user who may write it but cannot give it back gets it rewritten in place.
    if (geteuid() != 0) {
        return;
    }
    ASSERT_EQ(chown(real.c_str(), 1234, 4321), 0);
    ini.SetInt("Gerneral", "COM Port Number", 5);
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 4321u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(chmod(real.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    const int status = AsPlainUser(65534, [&] {
        CIniFile other;
        if (other.Open(link) != 1) {
            return 1;
        }
        other.SetInt("Gerneral", "COM Port Number", 6);
        return other.m_strError.empty() ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(ReadBytes(real), "[Gerneral]\r\nCOM Port Number=6\r\n\r\n\r\n");
    EXPECT_EQ(FilesIn(dir.Path()).size(), 2u);
}

TEST(IniFileFailure, DanglingLinksChainsAndLoopsOfLinksAreWrittenThroughOrRefused) {
    TempDir dir;
    const std::string saved = "[Gerneral]\r\nCOM Port Number=3\r\n\r\n\r\n";
    // A chain of two links, the last one dangling: its target is made.
    ASSERT_EQ(symlink("second.lnk", dir.File("Stavel_OV.ini").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("target.ini").c_str(), dir.File("second.lnk").c_str()), 0);
    {
        CIniFile ini;
        ASSERT_EQ(ini.Open(dir.File("Stavel_OV.ini")), 1);
        ini.SetInt("Gerneral", "COM Port Number", 3);
        EXPECT_EQ(ini.m_strError, "");
    }
    struct stat st {};
    ASSERT_EQ(lstat(dir.File("Stavel_OV.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(lstat(dir.File("second.lnk").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadBytes(dir.File("target.ini")), saved);
    EXPECT_EQ(FilesIn(dir.Path()).size(), 3u);

    // A loop of links is no file: nothing is written, and the links stay as they were.
    ASSERT_EQ(symlink("loop.b", dir.File("loop.a").c_str()), 0);
    ASSERT_EQ(symlink("loop.a", dir.File("loop.b").c_str()), 0);
    CIniFile looped;
    EXPECT_EQ(looped.Open(dir.File("loop.a")), 0);
    looped.m_strError.clear();
    looped.SetInt("Gerneral", "COM Port Number", 4);
    EXPECT_EQ(looped.m_strError, CannotOpen(dir.File("loop.a")));
    ASSERT_EQ(lstat(dir.File("loop.a").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(FilesIn(dir.Path()).size(), 5u);
}

TEST(IniFileFailure, AWritableFileInAFolderThatIsNotIsRewrittenInPlace) {
    TempDir dir;
    const std::string path = dir.File("Stavel_OV.ini");
    WriteBytes(path, "[Gerneral]\r\nCOM Port Number=12\r\nSdlFileName=/a/long/old/name.sdl\r\n");
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
    }
    const int status = AsPlainUser(kNobody, [&] {
        CIniFile ini;
        if (ini.Open(path) != 1) {
            return 1;
        }
        ini.SetInt("Gerneral", "COM Port Number", 7);
        ini.SetString("Gerneral", "SdlFileName", "/b.sdl");
        return ini.m_strError.empty() ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nCOM Port Number=7\r\nSdlFileName=/b.sdl\r\n\r\n\r\n");
    EXPECT_EQ(FilesIn(dir.Path()).size(), 1u);
}

namespace {

// The disk fills up part-way through the new file: the first piece is taken, the next is not.
std::atomic<int> g_pwrites{0};

ssize_t FullDiskPwrite(int fd, const void* data, size_t size, off_t at) {
    switch (g_pwrites++) {
        case 0:
            errno = EINTR;  // a signal first; the writer retries
            return -1;
        case 1:
            return RealSysCalls().pwrite(fd, data, size / 2, at);
        default:
            errno = ENOSPC;
            return -1;
    }
}

}  // namespace

// A full disk in the middle of a save, made to happen through the system-call seam: the old
// file stays whole, no temporary file is left, and the reason names the file and the call.
TEST(IniFileFailure, AFullDiskLeavesTheOldFileAndSaysWhy) {
    TempDir dir;
    const std::string path = dir.File("x.ini");
    const std::string old = "[Gerneral]\r\nCOM Port Number=3\r\n\r\n";
    WriteBytes(path, old);
    CIniFile ini;
    ASSERT_EQ(ini.Open(path), 1);

    SysCalls calls = RealSysCalls();
    calls.pwrite = FullDiskPwrite;
    g_pwrites = 0;
    {
        ScopedSysCalls scope(calls);
        EXPECT_EQ(ini.SetString("Gerneral", "SdlFileName", std::string(4000, 'x')), 1);
    }
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_EQ(ini.LastFailure().result.status, SysStatus::NoSpace);
    EXPECT_EQ(ini.LastFailure().Describe(), path + ": write: No space left on device");
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FilesIn(dir.Path()).size(), 1u) << "a temporary file was left behind";
    EXPECT_GE(g_pwrites.load(), 3);

    // With room again, the same store saves.
    EXPECT_EQ(ini.Save(), 1);
    EXPECT_NE(ReadBytes(path).find("SdlFileName="), std::string::npos);
}

namespace {

// A table of some thousands of bytes, so that writing it takes more than one system call and a
// kill can land in the middle of a save.
CIniFile TableFilledWith(char fill, const std::string& path) {
    CIniFile ini;  // no file name yet: the sets below stay in memory
    for (int i = 0; i < 40; ++i) {
        ini.SetString("Section" + std::to_string(i % 4), "Key" + std::to_string(i),
                      std::string(200, fill));
    }
    ini.m_strFileName = path;
    return ini;
}

// The child: saves the two tables by turns until it is killed.
[[noreturn]] void SaveForever(const std::string& path) {
    CIniFile oldTable = TableFilledWith('o', path);
    CIniFile newTable = TableFilledWith('n', path);
    for (;;) {
        oldTable.Save();
        newTable.Save();
    }
}

}  // namespace

TEST(IniFileCrash, AKilledSaveLeavesTheOldOrTheNewFileNeverAPartialOne) {
    TempDir dir;
    const std::string path = dir.File("Stavel_OV.ini");
    CIniFile oldTable = TableFilledWith('o', path);
    CIniFile newTable = TableFilledWith('n', path);
    ASSERT_EQ(oldTable.Save(), 1);
    const std::string oldBytes = ReadBytes(path);
    ASSERT_EQ(newTable.Save(), 1);
    const std::string newBytes = ReadBytes(path);
    ASSERT_GT(oldBytes.size(), 8000u);

    std::mt19937 random(20240607);  // fixed, so a failure can be repeated
    std::uniform_int_distribution<int> delayUs(0, 3000);
    for (int round = 0; round < 100; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SaveForever(path);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        const std::string bytes = ReadBytes(path);
        ASSERT_TRUE(bytes == oldBytes || bytes == newBytes)
            << "round " << round << ": " << bytes.size() << " bytes on disk";
        CIniFile loaded;
        ASSERT_EQ(loaded.Open(path), 1);
        ASSERT_TRUE(loaded.Entries() == oldTable.Entries() ||
                    loaded.Entries() == newTable.Entries());
    }
    // A kill can land while the new file has its temporary name; the next save removes what
    // the killed process left, so no temporary file outlives it for long.
    ASSERT_EQ(oldTable.Save(), 1);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"Stavel_OV.ini"});
}
