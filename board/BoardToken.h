#pragma once

// The secret that lets a browser in when the board listens beyond this machine. It is given
// once in the page's address (?token=...); the board answers with a cookie that holds it and
// sends the browser to the address without it, so the secret does not stay in the address bar,
// the history or a screenshot. Every later request carries the cookie.

#include <optional>
#include <string>

#include "platform/base/Result.h"

inline constexpr const char* kTokenCookie = "stavel_board";

// The first line of `path`; refused when it cannot be read or is shorter than 16 characters
// (a guessable secret is no secret).
Result<std::string> ReadBoardToken(const std::string& path);

// Whether `given` is `token`, in a time that does not tell how much of it was right. A space in
// `given` stands for '+': a token may hold a '+' (base64 makes them), and a '+' typed into the
// page's address arrives as a space unless it was written %2B; both ways are accepted.
bool SameToken(const std::string& given, const std::string& token);

// The value of the board's cookie in a Cookie header, if it has one.
std::optional<std::string> TokenFromCookies(const std::string& cookieHeader);
