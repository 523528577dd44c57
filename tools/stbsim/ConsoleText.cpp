#include "tools/stbsim/ConsoleText.h"

#include <cstdio>

namespace stbsim {

std::string BootBanner(int box, const std::string& serial) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "\r\nBoot loader 2.07 (simulated box %d)\r\nDRAM 256 MB ... ok\r\n"
                  "Flash 64 MB ... ok\r\nWaiting for download host on UART0 115200 8N1\r\n",
                  box);
    return serial.empty() ? std::string(text) : "\r\nSerial number: " + serial + text;
}

std::string NoiseLine(uint64_t n, uint32_t offset) {
    char text[120];
    switch (n % 4) {
        case 0:
            std::snprintf(text, sizeof text, "loader: next block at 0x%08X\r\n", offset);
            break;
        case 1:
            std::snprintf(text, sizeof text, "flash: erase sector 0x%06X ok\r\n", offset >> 16);
            break;
        case 2:
            std::snprintf(text, sizeof text, "\tcrc pending, %llu requests so far\r\n",
                          static_cast<unsigned long long>(n));
            break;
        default:
            std::snprintf(text, sizeof text, "OK\r\n");
            break;
    }
    return text;
}

std::string GarbageBytes(uint64_t n) {
    // What a UART at the wrong speed makes of a console line: bytes with the high bit set and
    // controls, a printable one here and there.
    std::string bytes;
    for (int i = 0; i < 24; ++i) {
        const auto x = static_cast<uint32_t>((n * 24 + static_cast<uint64_t>(i)) * 2654435761U);
        const uint8_t byte = i % 6 == 5 ? static_cast<uint8_t>('a' + x % 26)
                                        : static_cast<uint8_t>(0x80 | (x >> 24) | (x >> 16 & 0x0F));
        bytes += static_cast<char>(byte == 0x82 || byte == 0x83 ? 0x84 : byte);
    }
    return bytes;
}

std::string EndlessLinePiece(uint64_t n) {
    char text[80];
    std::snprintf(text, sizeof text, "loader: status %llu ok, no line break; ",
                  static_cast<unsigned long long>(n));
    return text;
}

std::string SyncLine() {
    return "host answered, settling\r\n";
}

}  // namespace stbsim
