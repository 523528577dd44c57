#include "platform/codepage/CodeSet.h"

#include <langinfo.h>

#include <algorithm>
#include <atomic>
#include <cctype>

namespace {

// -1 while the locale decides, otherwise the chosen CodeSet's value.
std::atomic<int> s_chosen{-1};

std::string Normalised(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c != '-' && c != '_') {
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return out;
}

}  // namespace

CodeSet ActiveCodeSet() {
    int chosen = s_chosen.load(std::memory_order_acquire);
    if (chosen >= 0) {
        return static_cast<CodeSet>(chosen);
    }
    return CodeSetFromName(LocaleCodeSetName());
}

void SetCodeSet(std::optional<CodeSet> codeSet) {
    s_chosen.store(codeSet ? static_cast<int>(*codeSet) : -1, std::memory_order_release);
}

CodeSet CodeSetFromName(std::string_view name) {
    const std::string n = Normalised(name);
    if (n == "UTF8") {
        return CodeSet::Utf8;
    }
    // Every spelling glibc and Windows use for the Korean code page and its EUC-KR subset.
    static constexpr std::string_view kKorean[] = {"CP949", "UHC", "MSCP949", "EUCKR",
                                                   "WINDOWS949"};
    if (std::find(std::begin(kKorean), std::end(kKorean), n) != std::end(kKorean)) {
        return CodeSet::Cp949;
    }
    return CodeSet::SingleByte;
}

std::string LocaleCodeSetName() {
    const char* name = nl_langinfo(CODESET);
    return name != nullptr ? name : "";
}
