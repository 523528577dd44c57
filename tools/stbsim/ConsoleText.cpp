#include "tools/stbsim/ConsoleText.h"

#include <cstdio>

namespace stbsim {

std::string BootBanner(int box) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "\r\nBoot loader 2.07 (simulated box %d)\r\nDRAM 256 MB ... ok\r\n"
                  "Flash 64 MB ... ok\r\nWaiting for download host on UART0 115200 8N1\r\n",
                  box);
    return text;
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

std::string SyncLine() {
    return "host answered, settling\r\n";
}

}  // namespace stbsim
