#include "tests/download/ProtocolRig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "download/ImageIdentity.h"
#include "platform/ports/PortMap.h"

namespace {

constexpr int kPort = 7;

std::vector<std::uint8_t> MakeImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return image;
}

CreateParams Params(ControlKind kind, int id) {
    CreateParams p;
    p.kind = kind;
    p.id = id;
    p.style = WS_CHILD | WS_VISIBLE;
    p.placement = {0, 0, 400, 30};
    return p;
}

}  // namespace

ProtocolRig::ProtocolRig(std::size_t imageSize)
    : protocol(CStbProtocol::Parts{link, log, progress, debug, state,
                                   [this](const DownloadEnded& ended) {
                                       ++startStops;
                                       lastEnd = ended.reason;
                                       state.CloseImage();
                                   },
                                   observers}),
      m_image(MakeImage(imageSize)) {
    owner.Create(Params(ControlKind::Dialog, 0), nullptr);
    log.Create(Params(ControlKind::RichEdit, 1001), &owner);
    progress.Create(Params(ControlKind::Progress, 1009), &owner);
    progress.SendMessage(PBM_SETRANGE32, 0, 10000);
    debug.Create(Params(ControlKind::CheckBox, 1010), &owner);

    char path[] = "/tmp/stavel-image-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, m_image.data(), m_image.size()), static_cast<ssize_t>(m_image.size()));
    close(fd);
    m_imagePath = path;
    state.m_pImageFile = std::fopen(path, "rb");
    state.m_nImageSize = static_cast<std::int64_t>(m_image.size());
    // What START would have seen of the image.
    state.m_strImagePath = path;
    state.m_imageIdentity = IdentityOfFile(fileno(state.m_pImageFile)).value_or(ImageIdentity{});

    SetPortOverride(kPort, pty.SlavePath());
    link.m_hOwnerWnd = owner.GetSafeHwnd();
    EXPECT_EQ(link.Open(CSerialLink::PortNameFromNumber(kPort), 115200, 8, 0, 0), 1);
    MessageQueue::Ui().Clear();
}

ProtocolRig::~ProtocolRig() {
    link.Close();
    ClearPortOverride(kPort);
    state.CloseImage();
    std::remove(m_imagePath.c_str());
    MessageQueue::Ui().Clear();
}

std::vector<std::uint8_t> ProtocolRig::ImageSlice(std::size_t offset, std::size_t length) const {
    if (offset >= m_image.size()) {
        return {};
    }
    const std::size_t end = std::min(m_image.size(), offset + length);
    return {m_image.begin() + static_cast<std::ptrdiff_t>(offset),
            m_image.begin() + static_cast<std::ptrdiff_t>(end)};
}

void ProtocolRig::BoxSends(const std::vector<std::uint8_t>& bytes) {
    const int before = link.m_rxRing.GetCount();
    ASSERT_TRUE(pty.WriteAll(bytes));
    // The watch thread moves them into the ring buffer; the limit only keeps a broken link from
    // hanging the test.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (link.m_rxRing.GetCount() < before + static_cast<int>(bytes.size())) {
        ASSERT_LT(std::chrono::steady_clock::now(), limit) << "bytes never reached the ring";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
