// A changed image stops the download before any byte read after the change reaches the box:
// rewritten in place, cut short, replaced by another file, or grown.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "download/ImageIdentity.h"
#include "tests/download/ProtocolRig.h"

namespace {

void WriteFile(const std::string& path, const Bytes& bytes, int flags) {
    const int fd = open(path.c_str(), O_WRONLY | flags, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

struct Change {
    const char* name;
    std::function<void(const std::string& path, const Bytes& image)> apply;
};

TEST(ImageChange, EveryKindOfChangeStopsBeforeTheNextByteIsSent) {
    const std::vector<Change> changes{
        {"rewritten in place, same size",
         [](const std::string& path, const Bytes& image) {
             Bytes other(image.size(), 0x5A);
             WriteFile(path, other, O_TRUNC);
         }},
        {"rewritten in place with its time set back (cp -p)",
         [](const std::string& path, const Bytes& image) {
             WriteFile(path, Bytes(image.size(), 0x5A), O_TRUNC);
             const timespec old[2] = {{1600000000, 0}, {1600000000, 0}};
             ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
         }},
        {"truncated",
         [](const std::string& path, const Bytes&) { ASSERT_EQ(truncate(path.c_str(), 3000), 0); }},
        {"replaced by another file",
         [](const std::string& path, const Bytes& image) {
             const std::string other = path + ".new";
             WriteFile(other, image, O_CREAT | O_TRUNC);
             ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
         }},
        {"grown",
         [](const std::string& path, const Bytes&) { WriteFile(path, Bytes(10, 0x11), O_APPEND); }},
        {"removed", [](const std::string& path, const Bytes&) { std::remove(path.c_str()); }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        ProtocolRig rig(20000);
        // The image looks written long ago, so that any write now gives it another time even
        // on a file system whose clock ticks coarsely.
        const timespec old[2] = {{1600000000, 0}, {1600000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, rig.ImagePath().c_str(), old, 0), 0);
        rig.state.m_imageIdentity = IdentityOfPath(rig.ImagePath()).value();

        rig.BoxSends(DataRequest(0, 1000));
        rig.Notify();
        EXPECT_EQ(rig.ToolSentExactly(1000), rig.ImageSlice(0, 1000));

        change.apply(rig.ImagePath(), rig.Image());
        rig.BoxSends(DataRequest(1000, 1000));
        rig.Notify();
        EXPECT_EQ(rig.startStops, 1);
        EXPECT_EQ(rig.Log(), "Image file changed during the download!!!\r\n");
        EXPECT_EQ(rig.ToolSent(), Bytes{}) << "not a byte after the change";
        EXPECT_EQ(rig.state.m_tally.requests, 1);
        EXPECT_EQ(rig.state.m_tally.bytesSent, 1000);
    }
}

}  // namespace
