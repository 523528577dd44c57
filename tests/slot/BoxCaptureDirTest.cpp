// A box's capture on a disk that fills up. One of which nothing readable reached the disk
// leaves no file; one that holds its header and part of the session keeps the box's verdict in
// its name and is marked incomplete. The disk is a real tmpfs, filled to the brim; where the
// test may not mount one, it is skipped.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/CaptureReader.h"
#include "capture/CaptureSummary.h"
#include "slot/BoxCaptureDir.h"
#include "tests/support/files/TempDir.h"

namespace {

class FullDisk {
  public:
    explicit FullDisk(std::string dir)
        : m_dir(std::move(dir)),
          m_mounted(mount("tmpfs", m_dir.c_str(), "tmpfs", 0, "size=256k") == 0) {}
    ~FullDisk() {
        if (m_mounted) {
            umount2(m_dir.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_mounted; }

    // Fills the disk with pages until it takes no more.
    void Fill() {
        const std::string page(4096, '#');
        for (;;) {
            const std::string name = m_dir + "/.fill" + std::to_string(m_fillers.size());
            std::FILE* file = std::fopen(name.c_str(), "wb");
            const bool taken = file != nullptr &&
                               std::fwrite(page.data(), 1, page.size(), file) == page.size() &&
                               std::fflush(file) == 0;
            if (file != nullptr) {
                std::fclose(file);
            }
            if (!taken) {
                std::remove(name.c_str());
                return;
            }
            m_fillers.push_back(name);
        }
    }
    // Gives one page back.
    void FreePage() {
        std::remove(m_fillers.back().c_str());
        m_fillers.pop_back();
    }

  private:
    std::string m_dir;
    bool m_mounted;
    std::vector<std::string> m_fillers;
};

// The folder's files but the fillers.
std::vector<std::string> Files(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir)) {
        const std::string name = item.path().filename().string();
        if (!name.starts_with(".fill")) {
            names.push_back(name);
        }
    }
    return names;
}

// One box that passes, with `consoleBytes` of console text on the line.
void ServeBox(BoxCaptureDir& captures, std::size_t consoleBytes) {
    DownloadStarted started;
    started.imagePath = "/srv/release.sdl";
    started.imageSize = 65536;
    started.portName = "COM7";
    started.device = "/dev/pts/9";
    started.when = std::chrono::system_clock::now();
    captures.OnStarted(started);
    captures.OnFirstFrame();
    captures.OnBoxBytes(std::string(consoleBytes, 'c'), std::chrono::steady_clock::now());
    BoxRecord record;
    record.result = BoxResult::Pass;
    record.start = started.when;
    record.end = std::chrono::system_clock::now();
    record.slot = "A1";
    captures.OnSessionEnded(SessionEnd{DownloadEnded{EndReason::Passed, {}, {}}, record});
}

TEST(BoxCaptureDirTest, ACaptureTheDiskCouldNotTakeIsRemovedWhenEmptyElseNamedIncomplete) {
    TempDir dir;
    FullDisk disk(dir.Path());
    if (!disk.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    auto opened = BoxCaptureDir::Open(dir.Path(), "A1", kCaptureMaxDefault, "stavel test");
    ASSERT_TRUE(opened) << opened.Failure().Describe();
    BoxCaptureDir& captures = **opened;

    // Not a byte fits: no file is left, neither hidden nor named.
    disk.Fill();
    ServeBox(captures, 20000);
    EXPECT_EQ(Files(dir.Path()), std::vector<std::string>{});
    EXPECT_FALSE(captures.LastFile());

    // A page's room: the header and the start of the session reach the disk, the rest does not.
    disk.FreePage();
    ServeBox(captures, 20000);
    const std::vector<std::string> files = Files(dir.Path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].starts_with("A1_")) << files[0];
    EXPECT_TRUE(files[0].ends_with("_PASS.incomplete.cap")) << files[0];
    ASSERT_TRUE(captures.LastFile());
    EXPECT_EQ(*captures.LastFile(), dir.File(files[0]));
    const Result<std::string> summary = CaptureSummaryText(*captures.LastFile());
    ASSERT_TRUE(summary) << summary.Failure().Describe();
    EXPECT_NE(summary->find("slot      A1 (/dev/pts/9)\n"), std::string::npos) << *summary;
}

}  // namespace

namespace {

// A job with a [unit]: the capture names the unit served to the box, for support to read; a
// secret field only as its hash, as the slot hands it over.
TEST(BoxCaptureDirTest, ACaptureNamesTheUnitItsBoxWasServed) {
    TempDir dir;
    Result<std::unique_ptr<BoxCaptureDir>> opened =
        BoxCaptureDir::Open(dir.Path(), "A1", kCaptureMaxDefault, "stavel 9.9");
    ASSERT_TRUE(opened);
    BoxCaptureDir& captures = **opened;
    DownloadStarted started;
    started.when = std::chrono::system_clock::now();
    captures.OnStarted(started);
    captures.OnUnitServed(0x1F000, 256, {{"serial", "SN00001000"}, {"key", "sha256:5e88"}},
                          std::string(64, '9'));
    BoxRecord record;
    record.result = BoxResult::Pass;
    record.start = record.end = started.when;
    captures.OnSessionEnded(SessionEnd{DownloadEnded{EndReason::Passed, {}, {}}, record});
    ASSERT_TRUE(captures.LastFile());
    Result<std::unique_ptr<CaptureReader>> reader = CaptureReader::Open(*captures.LastFile());
    ASSERT_TRUE(reader);
    std::optional<Json> unit;
    while (const std::optional<CaptureEntry> entry = (*reader)->Next()) {
        const std::optional<Json> event =
            entry->kind == CaptureKind::Event ? ParseJsonObject(entry->body) : std::nullopt;
        if (event && JsonStringAt(*event, "event") == "unit") {
            unit = event;
        }
    }
    ASSERT_TRUE(unit);
    EXPECT_EQ(JsonLine(*unit),
              R"({"event":"unit","offset":126976,"length":256,"fields":{"serial":"SN00001000",)"
              R"("key":"sha256:5e88"},"served_sha256":")" +
                  std::string(64, '9') + "\"}");
}

}  // namespace
