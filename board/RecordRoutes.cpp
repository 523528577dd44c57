#include "board/RecordRoutes.h"

#include <httplib.h>

#include "board/BoardService.h"

namespace {

int HoursOf(const std::string& range) {
    return range == "7d" ? 7 * 24 : range == "24h" ? 24 : 8;
}

}  // namespace

void AddRecordRoutes(httplib::Server& server, BoardService& service) {
    server.Get(
        "/api/find", [&service](const httplib::Request& request, httplib::Response& response) {
            response.set_content(service.Find(request.get_param_value("box")), "application/json");
        });
    server.Get("/api/export.csv", [&service](const httplib::Request& request,
                                             httplib::Response& response) {
        const std::string range = request.get_param_value("range");
        const int hours = HoursOf(range);
        const std::string station = request.get_param_value("station");
        const std::string slot = request.get_param_value("slot");
        response.set_header("Content-Disposition",
                            "attachment; filename=\"stavel-" + std::to_string(hours) + "h.csv\"");
        response.set_chunked_content_provider(
            "text/csv; charset=utf-8",
            [&service, hours, station, slot](std::size_t, httplib::DataSink& sink) {
                service.ExportCsv(hours, station, slot, [&sink](const std::string& piece) {
                    return sink.write(piece.data(), piece.size());
                });
                sink.done();
                return true;
            });
    });
}
