#pragma once

// The board's routes into the records' database, beside the page's own (BoardServer.h):
//   /api/find?box=ID                           every record of the box, oldest first (JSON)
//   /api/export.csv?range=8h|24h|7d&station=&slot=  the records of the range and scope the
//                                              page shows, as CSV, streamed as it is read
// The box id and the names reach the database only as bound parameters.

namespace httplib {
class Server;
}
class BoardService;

void AddRecordRoutes(httplib::Server& server, BoardService& service);
