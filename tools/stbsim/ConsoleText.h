#pragma once

#include <cstdint>
#include <string>

// Console text as a loader prints it: a boot banner and chatter between requests. Plain ASCII
// with CR LF line ends and the odd TAB, never STX, so the tool can only echo it.
namespace stbsim {

// With `serial`, the banner starts with "Serial number: <serial>" (for --box-id).
std::string BootBanner(int box, const std::string& serial = {});
// The line printed before a request when console noise is on; varies with n.
std::string NoiseLine(uint64_t n, uint32_t offset);
// Printed while the box flushes repeated starts (see StbBox).
// Bytes as a console at the wrong line speed arrives: mostly not text; `n` varies them.
std::string GarbageBytes(uint64_t n);
// A piece of a console line that never ends: printable text without CR or LF; `n` varies it.
std::string EndlessLinePiece(uint64_t n);
std::string SyncLine();

}  // namespace stbsim
