#include "board/HttpBind.h"

#include <arpa/inet.h>

#include <cstdint>

namespace {

bool IsIpv6(const std::string& address) {
    in6_addr ignored{};
    return inet_pton(AF_INET6, address.c_str(), &ignored) == 1;
}

bool IsIpv4(const std::string& address) {
    in_addr ignored{};
    return inet_pton(AF_INET, address.c_str(), &ignored) == 1;
}

SysFailure Refused(const std::string& text, const std::string& why) {
    return Refusal("--http " + text, why);
}

}  // namespace

bool HttpBind::Loopback() const {
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string HttpBind::Url() const {
    const std::string host = IsIpv6(address) ? "[" + address + "]" : address;
    return "http://" + host + ":" + std::to_string(port) + "/";
}

Result<HttpBind> ParseHttpBind(const std::string& text) {
    HttpBind bind;
    std::string portText = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string address = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
            address = address.substr(1, address.size() - 2);
            if (!IsIpv6(address)) {
                return Refused(text, "'" + address + "' in brackets is not an IPv6 address");
            }
        } else if (address == "localhost") {
            address = "127.0.0.1";
        } else if (!IsIpv4(address)) {
            return Refused(text, "the address must be an IPv4 address, [IPv6] or localhost");
        }
        bind.address = address;
    }
    int port = portText.empty() ? -1 : 0;
    for (const char c : portText) {
        port = c >= '0' && c <= '9' && port <= 65535 ? port * 10 + (c - '0') : -1;
        if (port < 0) {
            break;
        }
    }
    if (port < 1 || port > 65535) {
        return Refused(text, "the port must be a number from 1 to 65535");
    }
    bind.port = port;
    return bind;
}
