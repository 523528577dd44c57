#include "power/PowerRequest.h"

#include <charconv>

namespace {

std::string PercentEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

}  // namespace

std::string PdudaemonTarget(const SlotSwitch& outlet, PowerAction action) {
    return std::string("/power/control/") + PowerActionWord(action) +
           "?hostname=" + PercentEncoded(outlet.hostname) + "&port=" + PercentEncoded(outlet.port);
}

std::vector<std::string> UhubctlArgv(const SlotSwitch& outlet, PowerAction action) {
    return {"uhubctl", "-l", outlet.hub, "-p", outlet.port, "-a", PowerActionWord(action)};
}

std::vector<std::string> CommandArgv(const std::vector<std::string>& form, const std::string& label,
                                     const SlotSwitch& outlet, PowerAction action) {
    std::vector<std::string> argv;
    for (const std::string& arg : form) {
        // One pass per name over the template's own text: a value that holds "{port}" stays.
        std::string out;
        for (std::size_t at = 0; at < arg.size();) {
            const auto take = [&](const char* name, const std::string& value) {
                const std::string n(name);
                if (arg.compare(at, n.size(), n) == 0) {
                    out += value;
                    at += n.size();
                    return true;
                }
                return false;
            };
            if (!take("{label}", label) && !take("{port}", outlet.port) &&
                !take("{action}", PowerActionWord(action))) {
                out += arg[at++];
            }
        }
        argv.push_back(out);
    }
    return argv;
}

bool SplitHttpUrl(const std::string& url, std::string& host, int& port) {
    const std::string scheme = "http://";
    if (!url.starts_with(scheme)) {
        return false;
    }
    std::string rest = url.substr(scheme.size());
    if (const std::size_t slash = rest.find('/'); slash != std::string::npos) {
        if (rest.substr(slash) != "/") {
            return false;  // pdudaemon serves from its root
        }
        rest.erase(slash);
    }
    port = 80;
    const std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && rest.find(']', colon) == std::string::npos) {
        const std::string digits = rest.substr(colon + 1);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (error != std::errc() || end != digits.data() + digits.size() || port < 1 ||
            port > 65535) {
            return false;
        }
        rest.erase(colon);
    }
    if (rest.size() > 2 && rest.front() == '[' && rest.back() == ']') {
        rest = rest.substr(1, rest.size() - 2);
    }
    host = rest;
    return !host.empty();
}
