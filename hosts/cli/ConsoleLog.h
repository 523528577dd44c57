#pragma once

// Follows the log view and copies every insertion to an output stream, byte for byte, so that
// standard output holds exactly what the log view holds. On a terminal, bytes from the box that
// would drive the terminal (ESC and the other control characters but CR, LF, TAB and BS) are
// shown escaped as \xHH instead. The stream is flushed by the session whenever the UI thread
// falls idle, so a line such as "Please connect serial port and turn on....." is seen only once
// the handler that logged it has done its work (the port reconnected), and the box's console
// echo costs one write per batch, not one per byte.

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/window/WindowObserver.h"

class ConsoleLog final : public WindowObserver {
  public:
    ConsoleLog(std::FILE* out, bool escapeControls) : m_out(out), m_escape(escapeControls) {}

    void OnTextInserted(CWnd&, std::size_t, std::size_t, std::string_view text) override;

    // The text as it is written out (escaped when asked to).
    static std::string Escape(std::string_view text);

  private:
    std::FILE* m_out;
    bool m_escape;
};
