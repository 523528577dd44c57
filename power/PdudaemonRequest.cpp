#include "power/PdudaemonRequest.h"

#include <httplib.h>

#include "power/PowerRequest.h"

PowerOutcome PdudaemonRequest(const std::string& url, const std::string& target,
                              std::chrono::milliseconds bound) {
    std::string host;
    int port = 0;
    if (!SplitHttpUrl(url, host, port)) {
        return {false, "pdudaemon's url '" + url + "' is not http://HOST:PORT"};
    }
    httplib::Client client(host, port);
    const auto seconds = static_cast<time_t>(bound.count() / 1000);
    const auto micros = static_cast<time_t>((bound.count() % 1000) * 1000);
    client.set_connection_timeout(seconds, micros);
    client.set_read_timeout(seconds, micros);
    client.set_write_timeout(seconds, micros);
    const httplib::Result answer = client.Get(target);
    if (!answer) {
        const httplib::Error error = answer.error();
        const bool late =
            error == httplib::Error::Read || error == httplib::Error::ConnectionTimeout;
        return {false, "pdudaemon at " + url + ": " +
                           (late ? "no answer within " + std::to_string(bound.count() / 1000) + " s"
                                 : httplib::to_string(error))};
    }
    if (answer->status != 200) {
        std::string body = answer->body;
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) {
            body.pop_back();
        }
        return {false, "pdudaemon at " + url + " refused " + target + ": " +
                           std::to_string(answer->status) +
                           (body.empty() ? "" : " " + body.substr(0, 200))};
    }
    return {};
}
