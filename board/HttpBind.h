#pragma once

// Where the board listens: `--http [ADDR:]PORT`. An address is an IPv4 or IPv6 literal
// ("[::1]:8080") or "localhost"; without one the board listens on 127.0.0.1 only, so that a
// board started by hand is not on the factory's network until someone says so.

#include <string>

#include "platform/base/Result.h"

struct HttpBind {
    std::string address = "127.0.0.1";
    int port = 0;

    // Whether only this machine can reach it (127.0.0.0/8 or ::1).
    bool Loopback() const;
    // "http://127.0.0.1:8080/", "http://[::1]:8080/".
    std::string Url() const;
};

Result<HttpBind> ParseHttpBind(const std::string& text);
