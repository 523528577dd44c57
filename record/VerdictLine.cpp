#include "record/VerdictLine.h"

#include <cstdio>

std::string VerdictLine(const std::string& port, const BoxRecord& record) {
    const std::string box = record.boxId ? ", box " + *record.boxId : std::string();
    switch (record.result) {
        case BoxResult::Fail:
            return port + ": FAIL " + record.reason + box;
        case BoxResult::Aborted:
            return port + ": ABORTED " + record.reason + box;
        case BoxResult::Pass:
            break;
    }
    char text[96];
    std::snprintf(text, sizeof text, ": PASS %lld bytes in %.1f s, sha256 %.12s\xE2\x80\xA6",
                  static_cast<long long>(record.bytes), record.seconds, record.imageSha256.c_str());
    return port + text + box;
}
