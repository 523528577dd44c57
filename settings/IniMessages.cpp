#include "settings/IniMessages.h"

#include "platform/codepage/TextConversion.h"

namespace {

constexpr const char* kMissingFileName = "파일명이 누락되었습니다.";
constexpr const char* kCannotOpen = "파일(%s)을 열 수 없습니다.";

}  // namespace

std::string IniMissingFileNameMessage(CodeSet codeSet) {
    return FromUtf8(kMissingFileName, codeSet);
}

std::string IniCannotOpenMessage(const std::string& path, CodeSet codeSet) {
    // The path is substituted after the conversion: it is already in the locale's code set, and
    // the text around "%s" holds no other conversion, so no printf-style buffer is needed.
    std::string text = FromUtf8(kCannotOpen, codeSet);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, path);
    }
    return text;
}
