#pragma once

// Where the command line's text goes, and how the progress line shares a terminal with it. The
// log goes to standard output; messages and progress to standard error; all of it through the
// process's writer thread (ConsoleOutput.h), so nothing here waits for a reader.
//
// On a terminal the progress is one line redrawn in place. Before any other text reaches that
// terminal the line is erased, and it is drawn again once the UI thread falls idle with the log
// at the start of a line, so the two never run into each other. A terminal whose TERM is "dumb"
// (or unset) gets no escape codes: the line is erased with spaces and a carriage return.
// Without a terminal, the progress is written as plain lines (ProgressLine says when).
//
// Threading rules: UI thread only.

#include <cstddef>
#include <string>
#include <string_view>

class ConsoleScreen {
  public:
    ConsoleScreen();

    // The box's text may drive the terminal: show its controls escaped.
    bool LogOnTerminal() const { return m_stdoutTty; }
    // The progress is redrawn in place rather than written line by line.
    bool ProgressInPlace() const { return m_stderrTty; }

    // Text for standard output (already escaped where needed).
    void Log(std::string_view text);
    // Text for standard error: messages, progress lines without a terminal, the bell.
    void Error(std::string_view text);
    // The progress line's new figures, drawn in place now or at the next Idle.
    void Progress(const std::string& figures);
    // The download ended: a line drawn in place is finished with a line break.
    void EndProgress();
    // The UI thread has nothing to do: redraw the progress if it was erased, and let the writer
    // thread write what the turn produced.
    void Idle();

  private:
    void Erase();
    void Draw();
    bool SharesTerminal() const { return m_sameTerminal; }

    bool m_stdoutTty = false;
    bool m_stderrTty = false;
    bool m_sameTerminal = false;  // standard output and error are one terminal
    bool m_ansi = false;          // the terminal takes escape codes
    std::string m_figures;        // the progress line's text; empty when there is none
    bool m_drawn = false;         // m_figures is on the screen now
    std::size_t m_drawnWidth = 0;
    bool m_logAtLineStart = true;
};
