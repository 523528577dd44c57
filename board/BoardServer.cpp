#include "board/BoardServer.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <thread>

#include "board/BoardPage.h"
#include "board/BoardToken.h"
#include "board/RecordRoutes.h"

namespace {

// Threads that no event stream may take: page loads and API calls always find one.
constexpr std::size_t kSpareThreads = 8;

// The page may run its own script and style and talk to this server, and nothing else: even
// a text that slipped into the page as markup could not run.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

bool LocalHostName(std::string host) {
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (host == "localhost") {
        return true;
    }
    HttpBind named;
    named.address = host;
    return named.Loopback();
}

// A large text goes out in slices of this, so no answer copies the whole line.
constexpr std::size_t kSlice = 64 * 1024;

int HoursOf(const std::string& range) {
    return range == "7d" ? 7 * 24 : range == "24h" ? 24 : 8;
}

}  // namespace

struct BoardServer::Impl {
    httplib::Server server;
    std::thread listener;
};

BoardServer::BoardServer(Config config, BoardService& service)
    : m_config(std::move(config)), m_service(service), m_impl(std::make_unique<Impl>()) {}

BoardServer::~BoardServer() {
    Stop();
}

Result<void> BoardServer::Start() {
    httplib::Server& server = m_impl->server;
    const std::size_t threads = m_service.Hub().MostStreams() + kSpareThreads;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_keep_alive_max_count(1);
    server.set_read_timeout(m_config.peerTimeout.count(), 0);
    server.set_write_timeout(m_config.peerTimeout.count(), 0);
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"Cache-Control", "no-store"}});

    server.set_pre_routing_handler([this](const httplib::Request& request,
                                          httplib::Response& response) {
        using Handled = httplib::Server::HandlerResponse;
        if (!m_config.token) {
            if (LocalHostName(request.get_header_value("Host"))) {
                return Handled::Unhandled;
            }
            response.status = 421;
            response.set_content("This board answers only at localhost or 127.0.0.1.\n",
                                 "text/plain; charset=utf-8");
            return Handled::Handled;
        }
        const std::string given = request.get_param_value("token");
        if (!given.empty() && SameToken(given, *m_config.token)) {
            if (request.path != "/") {
                return Handled::Unhandled;
            }
            // Into a cookie, and out of the address bar.
            response.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + *m_config.token +
                                                  "; Path=/; HttpOnly; SameSite=Strict");
            response.set_redirect("/", 303);
            return Handled::Handled;
        }
        const std::optional<std::string> cookie =
            TokenFromCookies(request.get_header_value("Cookie"));
        if (cookie && SameToken(*cookie, *m_config.token)) {
            return Handled::Unhandled;
        }
        response.status = 401;
        response.set_content(
            "This board needs its token: open /?token=TOKEN once, with the first line of the "
            "board's --http-token-file as TOKEN.\n",
            "text/plain; charset=utf-8");
        return Handled::Handled;
    });

    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Security-Policy", kPagePolicy);
        response.set_content(kBoardHtml.data(), kBoardHtml.size(), "text/html; charset=utf-8");
    });
    server.Get("/board.css", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kBoardCss.data(), kBoardCss.size(), "text/css; charset=utf-8");
    });
    server.Get("/board.js", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kBoardJs.data(), kBoardJs.size(), "text/javascript; charset=utf-8");
    });
    server.Get("/api/stations", [this](const httplib::Request&, httplib::Response& response) {
        const std::shared_ptr<const std::string> snapshot = m_service.Snapshot();
        response.set_content_provider(
            snapshot->size(), "application/json",
            [snapshot](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                return sink.write(snapshot->data() + offset,
                                  std::min({length, kSlice, snapshot->size() - offset}));
            });
    });
    server.Get(
        "/api/history", [this](const httplib::Request& request, httplib::Response& response) {
            response.set_content(
                m_service.Plot(HoursOf(request.get_param_value("range")),
                               request.get_param_value("station"), request.get_param_value("slot")),
                "application/json");
        });
    AddRecordRoutes(server, m_service);
    server.Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        std::shared_ptr<const std::string> snapshot;
        std::shared_ptr<EventHub::Stream> stream = m_service.OpenStream(snapshot);
        if (!stream) {
            response.status = 503;
            response.set_header("Retry-After", "10");
            response.set_content(
                "The board has as many pages open as it takes "
                "(--http-max-clients); try again later.\n",
                "text/plain; charset=utf-8");
            return;
        }
        // The page's EventSource connects again 3 s after a stream ends. The snapshot goes out
        // in slices of the one string every page shares, never as a copy of its own.
        static const std::string kHead = "retry: 3000\n\nevent: snapshot\ndata: ";
        const std::size_t firstSize = kHead.size() + snapshot->size() + 2;
        response.set_chunked_content_provider(
            "text/event-stream", [stream, snapshot, firstSize, quiet = m_config.keepAlive](
                                     std::size_t offset, httplib::DataSink& sink) mutable {
                if (offset < firstSize) {
                    // The frame in slices of at most kSlice bytes of the snapshot, its head
                    // with the first and its end with the last.
                    const std::size_t from = offset == 0 ? 0 : offset - kHead.size();
                    const std::size_t n = std::min(kSlice, snapshot->size() - from);
                    std::string piece = offset == 0 ? kHead : std::string();
                    piece.append(*snapshot, from, n);
                    if (from + n == snapshot->size()) {
                        piece += "\n\n";
                    }
                    return sink.write(piece.data(), piece.size());
                }
                snapshot.reset();  // sent: a page open for hours holds no old copy of the line
                std::string out;
                switch (stream->Take(out, quiet)) {
                    case EventHub::Stream::Taken::End:
                        return false;  // fell behind, or the board stops: the page reconnects
                    case EventHub::Stream::Taken::Quiet:
                        out = ": still here\n\n";
                        break;
                    case EventHub::Stream::Taken::Frames:
                        break;
                }
                return sink.write(out.data(), out.size());
            });
    });

    errno = 0;
    if (m_config.bind.port == 0) {
        m_port = server.bind_to_any_port(m_config.bind.address);
    } else if (server.bind_to_port(m_config.bind.address, m_config.bind.port)) {
        m_port = m_config.bind.port;
    }
    if (m_port <= 0) {
        const std::string subject = "--http " + m_config.bind.Url();
        return errno != 0 ? ErrnoFailure("bind", subject, errno)
                          : Refusal(subject, "the address cannot be bound");
    }
    m_impl->listener = std::thread([this] { m_impl->server.listen_after_bind(); });
    return {};
}

void BoardServer::Stop() {
    if (!m_impl->listener.joinable()) {
        return;
    }
    m_service.CloseStreams();
    m_impl->server.stop();
    m_impl->listener.join();
}
