#pragma once

// The board's HTTP side (cpp-httplib):
//   /                  the page (page/board.html), with /board.css and /board.js beside it
//   /api/stations      the board's snapshot as JSON (BoardService::Snapshot)
//   /api/history       ?range=8h|24h|7d&station=NAME&slot=NAME: the plots' figures
//   /events            server-sent events: the snapshot, then every change
//
// Threads. Each connection is served by a thread of one pool, and an event stream keeps its
// thread while the page is open. The pool has a thread for each stream the service takes
// (EventHub's most) and 8 more that no stream may take (a stream past the most is answered 503),
// so open pages can never
// starve the page loads and API calls. Connections are not kept alive between requests, so a
// thread is held only while a request is served; a peer that sends or reads nothing is let go
// after 5 s.
//
// Access. With a token, every request needs it: "/?token=..." sets the cookie and sends the
// browser on to "/"; later requests carry the cookie (or, for scripts, ?token=). Without one
// the board answers only requests addressed to this machine by name (localhost, 127.x.x.x,
// [::1]), so that a web page elsewhere cannot reach it through a DNS name that points here.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "board/BoardService.h"
#include "board/HttpBind.h"
#include "platform/base/Result.h"

class BoardServer {
  public:
    struct Config {
        HttpBind bind;  // port 0: any free port (tests)
        std::optional<std::string> token;
        // A peer that takes nothing (or sends nothing) for this long is let go.
        std::chrono::seconds peerTimeout{5};
        // A stream with nothing to say writes a comment this often: a page that went away is
        // noticed by the write after next, and its place freed.
        std::chrono::milliseconds keepAlive{5000};
    };

    BoardServer(Config config, BoardService& service);
    ~BoardServer();  // Stop
    BoardServer(const BoardServer&) = delete;
    BoardServer& operator=(const BoardServer&) = delete;

    // Binds and serves on threads of its own; fails when the address cannot be bound.
    Result<void> Start();
    // Ends the event streams, then the server; returns once its threads are done.
    void Stop();
    int Port() const { return m_port; }

  private:
    struct Impl;
    Config m_config;
    BoardService& m_service;
    std::unique_ptr<Impl> m_impl;
    int m_port = 0;
};
