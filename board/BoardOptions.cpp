#include "board/BoardOptions.h"

const char* const kBoardUsage =
    "      --http [ADDR:]PORT  with --watch: also serve the line's board to browsers on\n"
    "                      PORT (on 127.0.0.1 unless ADDR is given); any other address\n"
    "                      needs --http-token-file FILE, whose first line the page's\n"
    "                      address gives once (http://HOST:PORT/?token=...)\n"
    "      --http-max-clients N  open pages at once (default 64); more get 503\n"
    "      --history FILE  keep the board's history (7 days, at most 1,000,000 results)\n"
    "                      in FILE and its .1 ... .4, and read results through a broker\n"
    "                      session that keeps them while the board is down\n";

bool ApplyBoardOption(BoardOptions::Option option, const char* value, BoardOptions& options,
                      std::string& error) {
    options.given = true;
    switch (option) {
        case BoardOptions::Option::Http: {
            Result<HttpBind> bind = ParseHttpBind(value);
            if (!bind) {
                error = bind.Failure().Describe();
                return false;
            }
            options.http = *bind;
            return true;
        }
        case BoardOptions::Option::TokenFile:
            options.tokenFile = value;
            return true;
        case BoardOptions::Option::MaxClients: {
            const std::string text = value;
            const bool digits = !text.empty() && text.size() <= 4 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            const int count = digits ? std::stoi(text) : 0;
            if (count < 1 || count > 1000) {
                error =
                    "--http-max-clients takes a whole number from 1 to 1000, not '" + text + "'";
                return false;
            }
            options.maxClients = count;
            return true;
        }
        case BoardOptions::Option::History:
            options.history = value;
            return true;
    }
    return false;
}

std::string CheckBoardOptions(const BoardOptions& options) {
    if (!options.given) {
        return {};
    }
    if (!options.http) {
        return "--http-token-file, --http-max-clients and --history go with --http";
    }
    if (!options.http->Loopback() && !options.tokenFile) {
        return "--http " + options.http->address +
               " opens the board beyond this machine: give --http-token-file FILE with a secret "
               "(for example: head -c 24 /dev/urandom | base64 > FILE)";
    }
    return {};
}
