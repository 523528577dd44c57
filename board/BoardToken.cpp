#include "board/BoardToken.h"

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace {

constexpr std::size_t kShortestToken = 16;

}  // namespace

Result<std::string> ReadBoardToken(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return ErrnoFailure("open", path, errno);
    }
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    if (line.size() < kShortestToken) {
        return Refusal(path, "the token must be at least " + std::to_string(kShortestToken) +
                                 " characters on the file's first line (for example: "
                                 "openssl rand -hex 24 > FILE)");
    }
    // A cookie's value may not hold these; the page's address would need them escaped.
    if (line.find_first_of(" \";,\\") != std::string::npos) {
        return Refusal(path,
                       "the token may not hold spaces, quotes, commas, semicolons or "
                       "backslashes");
    }
    return line;
}

bool SameToken(const std::string& given, const std::string& token) {
    unsigned char difference = given.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char sent = i < given.size() ? given[i] : 0;
        // A token holds no space (ReadBoardToken refuses one): a space here is a '+' that the
        // address's query turned into one, as an address does with a '+' not written %2B.
        difference |= static_cast<unsigned char>(token[i] ^ (sent == ' ' ? '+' : sent));
    }
    return difference == 0;
}

std::optional<std::string> TokenFromCookies(const std::string& cookieHeader) {
    const std::string name = std::string(kTokenCookie) + "=";
    std::size_t at = 0;
    while (at < cookieHeader.size()) {
        while (at < cookieHeader.size() && (cookieHeader[at] == ' ' || cookieHeader[at] == ';')) {
            ++at;
        }
        const std::size_t end = std::min(cookieHeader.find(';', at), cookieHeader.size());
        if (cookieHeader.compare(at, name.size(), name) == 0) {
            return cookieHeader.substr(at + name.size(), end - at - name.size());
        }
        at = end;
    }
    return std::nullopt;
}
