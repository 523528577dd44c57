#include "board/BoardOptions.h"

Result<void> ApplyBoardOption(BoardOptions::Option option, const char* value,
                              BoardOptions& options) {
    options.given = true;
    switch (option) {
        case BoardOptions::Option::Http: {
            Result<HttpBind> bind = ParseHttpBind(value);
            if (!bind) {
                return bind.Failure();
            }
            options.http = *bind;
            return {};
        }
        case BoardOptions::Option::TokenFile:
            options.tokenFile = value;
            return {};
        case BoardOptions::Option::MaxClients: {
            const std::string text = value;
            const bool digits = !text.empty() && text.size() <= 4 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            const int count = digits ? std::stoi(text) : 0;
            if (count < 1 || count > 1000) {
                return Refusal("", "--http-max-clients takes a whole number from 1 to 1000, not '" +
                                       text + "'");
            }
            options.maxClients = count;
            return {};
        }
        case BoardOptions::Option::History:
            options.history = value;
            return {};
        case BoardOptions::Option::KeepDays: {
            const std::string text = value;
            const bool digits = !text.empty() && text.size() <= 5 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            const int days = digits ? std::stoi(text) : 0;
            if (days < 1 || days > 36500) {
                return Refusal("",
                               "--keep-days takes a whole number of days from 1 to 36500, "
                               "not '" +
                                   text + "'");
            }
            options.keepDays = days;
            return {};
        }
    }
    return Refusal("", "not an option of the board");
}

std::string CheckBoardOptions(const BoardOptions& options) {
    if (!options.given) {
        return {};
    }
    if (!options.http) {
        return "--http-token-file, --http-max-clients, --history and --keep-days go with --http";
    }
    if (!options.http->Loopback() && !options.tokenFile) {
        return "--http " + options.http->address +
               " opens the board beyond this machine: give --http-token-file FILE with a secret "
               "(for example: openssl rand -hex 24 > FILE)";
    }
    return {};
}
