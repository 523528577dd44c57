#include "tests/support/codepage/CodeSetGuard.h"

#include <iconv.h>

#include <cerrno>

#include "platform/codepage/MultiByte.h"
#include "platform/codepage/TextConversion.h"

std::string ToUtf8(std::string_view bytes, CodeSet codeSet) {
    iconv_t cd = iconv_open("UTF-8", IconvName(codeSet).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(bytes);
    }
    std::string out;
    std::string_view in = bytes;
    while (!in.empty()) {
        char buffer[256];
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, dst);
        in.remove_prefix(in.size() - srcLeft);
        if (rc == static_cast<std::size_t>(-1) && err != E2BIG) {
            out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
            in.remove_prefix(CharLength(in, 0, codeSet));
        }
    }
    iconv_close(cd);
    return out;
}
