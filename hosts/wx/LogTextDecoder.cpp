#include "hosts/wx/LogTextDecoder.h"

#include "platform/codepage/TextConversion.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length a lead byte announces, or 0 for a byte that cannot start a character.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Whether `byte` may stand at position `index` (1..3) after `lead`. The narrower ranges after
// E0, ED, F0 and F4 shut out overlong forms, surrogates and code points past U+10FFFF.
bool ValidContinuation(unsigned char lead, int index, unsigned char byte) {
    if (index == 1) {
        switch (lead) {
            case 0xE0:
                return byte >= 0xA0 && byte <= 0xBF;
            case 0xED:
                return byte >= 0x80 && byte <= 0x9F;
            case 0xF0:
                return byte >= 0x90 && byte <= 0xBF;
            case 0xF4:
                return byte >= 0x80 && byte <= 0x8F;
            default:
                break;
        }
    }
    return byte >= 0x80 && byte <= 0xBF;
}

void AppendSingle(std::string& out, unsigned char byte) {
    if (byte == 0) {
        return;
    }
    if (byte == '\t' || byte == '\n' || byte == '\r' || (byte >= 0x20 && byte != 0x7F)) {
        out.push_back(static_cast<char>(byte));
        return;
    }
    out.append(kReplacement);
}

}  // namespace

std::string LogTextDecoder::Feed(std::string_view bytes) {
    m_pending.append(bytes);
    std::string out;
    Decode(out, false);
    return out;
}

std::string LogTextDecoder::Flush() {
    std::string out;
    Decode(out, true);
    return out;
}

void LogTextDecoder::Decode(std::string& out, bool final) {
    if (m_cp949) {
        DecodeCp949(out, final);
        return;
    }
    std::size_t i = 0;
    const std::size_t size = m_pending.size();
    while (i < size) {
        const auto lead = static_cast<unsigned char>(m_pending[i]);
        if (lead == '\r') {
            if (i + 1 == size && !final) {
                break;  // a "\n" may follow in the next append
            }
            out.push_back('\n');
            i += (i + 1 < size && m_pending[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        const int length = SequenceLength(lead);
        if (length <= 1) {
            if (length == 0) {
                out.append(kReplacement);
            } else {
                AppendSingle(out, lead);
            }
            ++i;
            continue;
        }
        int valid = 1;
        while (valid < length && i + valid < size &&
               ValidContinuation(lead, valid, static_cast<unsigned char>(m_pending[i + valid]))) {
            ++valid;
        }
        if (valid == length) {
            out.append(m_pending, i, static_cast<std::size_t>(length));
            i += static_cast<std::size_t>(length);
        } else if (i + valid == size && !final) {
            break;  // the rest of the character has not arrived yet
        } else {
            // One mark for the broken sequence; the byte that broke it starts afresh.
            out.append(kReplacement);
            i += static_cast<std::size_t>(valid);
        }
    }
    m_pending.erase(0, i);
}

namespace {

bool Cp949Lead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool Cp949Trail(unsigned char byte) {
    return (byte >= 0x41 && byte <= 0x5A) || (byte >= 0x61 && byte <= 0x7A) ||
           (byte >= 0x81 && byte <= 0xFE);
}

}  // namespace

void LogTextDecoder::DecodeCp949(std::string& out, bool final) {
    // Whole characters are gathered as they are and converted together; ASCII needs no
    // conversion, so a console that prints only ASCII never reaches the converter.
    std::string run;
    bool wide = false;
    auto flushRun = [&] {
        out += wide ? DecodeToUtf8(run, CodeSet::Cp949) : run;
        run.clear();
        wide = false;
    };
    std::size_t i = 0;
    const std::size_t size = m_pending.size();
    while (i < size) {
        const auto lead = static_cast<unsigned char>(m_pending[i]);
        if (lead == '\r') {
            if (i + 1 == size && !final) {
                break;
            }
            run.push_back('\n');
            i += (i + 1 < size && m_pending[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        if (lead < 0x80) {
            flushRun();
            AppendSingle(out, lead);
            ++i;
            continue;
        }
        if (!Cp949Lead(lead)) {
            flushRun();
            out.append(kReplacement);
            ++i;
            continue;
        }
        if (i + 1 == size) {
            if (!final) {
                break;  // the trail byte has not arrived yet
            }
            flushRun();
            out.append(kReplacement);
            ++i;
            continue;
        }
        if (!Cp949Trail(static_cast<unsigned char>(m_pending[i + 1]))) {
            // The byte that broke the pair starts afresh.
            flushRun();
            out.append(kReplacement);
            ++i;
            continue;
        }
        run.append(m_pending, i, 2);
        wide = true;
        i += 2;
    }
    flushRun();
    m_pending.erase(0, i);
}
