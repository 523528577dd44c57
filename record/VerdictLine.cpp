#include "record/VerdictLine.h"

#include <cstdio>

#include "record/SecondsText.h"

const char* VerdictWord(BoxResult result) {
    switch (result) {
        case BoxResult::Pass:
            return "PASS";
        case BoxResult::Fail:
            return "FAIL";
        case BoxResult::Aborted:
            return "ABORTED";
    }
    return "FAIL";
}

std::string VerdictLine(const std::string& port, const BoxRecord& record) {
    const std::string box = record.boxId ? ", box " + *record.boxId : std::string();
    if (record.result != BoxResult::Pass) {
        return port + ": " + VerdictWord(record.result) + " " + record.reason + box;
    }
    char text[96];
    std::snprintf(text, sizeof text, ": PASS %lld bytes in %s, sha256 %.12s\xE2\x80\xA6",
                  static_cast<long long>(record.bytes), SecondsText(record.seconds).c_str(),
                  record.imageSha256.c_str());
    return port + text + box;
}
