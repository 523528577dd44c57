#pragma once

// `stavel --watch URL --http [ADDR:]PORT`: the watch and the line's board in one process. The
// watch reads the broker on the main thread as always (its table or lines go on as without
// --http) and hands every message to the board, which serves it to browsers from its own
// threads. With --db or --history the watch keeps a broker session named after this host and
// the history's database (or file), so that the results published while the board is down are
// waiting for it when it comes back.

#include <functional>
#include <string>
#include <vector>

#include "board/BoardOptions.h"
#include "mqtt/MqttClient.h"

// Answers the exit status: 2 when the board cannot start (its reason said on `say`), else the
// watch's.
int RunBoardWatch(const BoardOptions& options, const MqttLogin& login,
                  const std::vector<std::string>& stations,
                  const std::function<void(const std::string&)>& say);

// The broker session's client id for a board keeping its history in `historyPath` (a --history
// file, or a database's URL) on `host`.
std::string BoardSessionId(const std::string& host, const std::string& historyPath);
