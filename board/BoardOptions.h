#pragma once

// The board's options on `stavel --watch URL`, parsed here so that the command line only hands
// them over: --http [ADDR:]PORT, --http-token-file FILE, --http-max-clients N, --history FILE,
// --keep-days N; and the database of --db, which the command line hands on.

#include <optional>
#include <string>

#include "board/HttpBind.h"
#include "platform/base/Result.h"

struct BoardOptions {
    std::optional<HttpBind> http;
    std::optional<std::string> tokenFile;
    int maxClients = 64;                 // open pages (event streams) at once; past it, 503
    std::optional<std::string> history;  // a name for the database sqlite:FILE.db
    int keepDays = 400;                  // results older than this leave the history
    std::optional<std::string> db;       // --db: the history's database
    bool given = false;                  // any of the five

    // The options in the order the command line's codes have them.
    enum class Option { Http, TokenFile, MaxClients, History, KeepDays };
};

// One option with its value; a refusal that says why when the value is refused.
Result<void> ApplyBoardOption(BoardOptions::Option option, const char* value,
                              BoardOptions& options);
// Why the options do not go together (a bind beyond this machine without a token); empty when
// they do.
std::string CheckBoardOptions(const BoardOptions& options);
