#include "platform/codepage/TextConversion.h"

#include <iconv.h>

#include <cerrno>

namespace {

// One conversion descriptor, closed however the conversion ends.
class Iconv {
  public:
    Iconv(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (Valid()) {
            iconv_close(m_cd);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; stops at the first byte that cannot be converted and leaves
    // `in` there. Returns false when it stopped for that reason.
    bool Convert(std::string_view& in, std::string& out) {
        char buffer[256];
        for (;;) {
            char* src = const_cast<char*>(in.data());
            std::size_t srcLeft = in.size();
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc =
                iconv(m_cd, in.empty() ? nullptr : &src, &srcLeft, &dst, &dstLeft);
            const int err = errno;
            out.append(buffer, dst);
            in.remove_prefix(in.size() - srcLeft);
            if (rc != static_cast<std::size_t>(-1)) {
                return true;
            }
            if (err != E2BIG) {
                return false;
            }
        }
    }

  private:
    iconv_t m_cd;
};

}  // namespace

std::string IconvName(CodeSet codeSet) {
    switch (codeSet) {
        case CodeSet::Utf8:
            return "UTF-8";
        case CodeSet::Cp949:
            return "CP949";
        case CodeSet::SingleByte:
            break;
    }
    const std::string locale = LocaleCodeSetName();
    if (CodeSetFromName(locale) == CodeSet::SingleByte && locale.rfind("ISO-8859-", 0) == 0) {
        return locale;
    }
    return "ISO-8859-1";
}

std::string FromUtf8(std::string_view utf8, CodeSet codeSet) {
    if (codeSet == CodeSet::Utf8) {
        return std::string(utf8);
    }
    Iconv cd(IconvName(codeSet), "UTF-8");
    std::string out;
    std::string_view in = utf8;
    if (!cd.Valid() || !cd.Convert(in, out) || !in.empty()) {
        return std::string(utf8);
    }
    return out;
}

std::string DecodeToUtf8(std::string_view text, CodeSet codeSet) {
    if (codeSet == CodeSet::Utf8) {
        return std::string(text);
    }
    Iconv cd("UTF-8", IconvName(codeSet));
    if (!cd.Valid()) {
        return std::string(text);
    }
    std::string out;
    std::string_view in = text;
    while (!cd.Convert(in, out) && !in.empty()) {
        out.append("\xEF\xBF\xBD");
        in.remove_prefix(1);
    }
    return out;
}
