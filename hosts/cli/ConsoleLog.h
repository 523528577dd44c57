#pragma once

// Follows the log view and copies every insertion to standard output, byte for byte, so that
// standard output holds exactly what the log view holds. On a terminal, what would drive the
// terminal (ESC and the other C0 controls but CR, LF, TAB and BS; DEL; the C1 controls, raw or
// in their UTF-8 form) is shown escaped as \xHH instead (ShownText.h). The text is queued for the
// writer thread; the session publishes it whenever the UI thread falls idle, so a line such as
// "Please connect serial port and turn on....." is seen only once the handler that logged it has
// done its work (the port reconnected). A cut at the log view's start (its size bound) is not
// an insertion of text and shows nothing here.

#include <string_view>

#include "platform/codepage/ShownText.h"
#include "platform/window/WindowObserver.h"

class ConsoleScreen;

class ConsoleLog final : public WindowObserver {
  public:
    explicit ConsoleLog(ConsoleScreen& screen);

    void OnTextInserted(CWnd&, std::size_t, std::size_t, std::string_view text) override;
    // Shows a character held back because its end has not come (the session is ending).
    void Finish();

  private:
    ConsoleScreen& m_screen;
    bool m_escape;
    ShownTextStream m_shown;
};
