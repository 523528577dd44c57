#pragma once

// The box's requests found again in a capture's box bytes, to name them: the summary's first and
// last, the replay's request at a difference. Frames are read as the tool reads them: STX, the
// command, six payload bytes for a data request, ETX; anything else is console text, and a frame
// whose last byte is not ETX is no request.
//
// Threading rules: one thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct CapturedRequest {
    std::uint64_t number = 0;  // 1 for the first
    std::uint64_t micros = 0;  // the time of the box bytes that completed it
    std::uint8_t command = 0;
    std::uint32_t offset = 0;  // a data request's
    std::uint16_t length = 0;
};

class CaptureRequests {
  public:
    // Box bytes in the order they came; calls `found` for each request they complete.
    template <typename Found>
    void Feed(std::string_view bytes, std::uint64_t micros, Found&& found) {
        for (const char c : bytes) {
            if (Take(static_cast<std::uint8_t>(c), micros)) {
                found(m_last);
            }
        }
    }
    std::uint64_t Count() const { return m_count; }

  private:
    bool Take(std::uint8_t byte, std::uint64_t micros);

    int m_state = 0;  // bytes of the frame under way (0: outside a frame)
    std::uint8_t m_command = 0;
    std::uint8_t m_payload[6] = {};
    std::uint64_t m_count = 0;
    CapturedRequest m_last;
};

// "STB_START", "STB_DATA_REQ 4096 bytes at 0x00004000", "STB_TIME_REQ", "EXIT_APP",
// "command 0x07".
std::string RequestName(const CapturedRequest& request);
// Seconds with milliseconds: "12.345 s".
std::string CaptureSeconds(std::uint64_t micros);
