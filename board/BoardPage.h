#pragma once

// The board's page: its HTML, its style and its script, all served by the board itself with
// nothing loaded from elsewhere, so that it works on a line's network without the internet.
// Their sources are page/board.html, page/board.css and page/board.js.

#include <string_view>

extern const std::string_view kBoardHtml;
extern const std::string_view kBoardCss;
extern const std::string_view kBoardJs;
