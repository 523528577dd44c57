#pragma once

// A test-only way to drive the running window from outside, as an operator would, and to read
// what it shows. Off unless the environment variable STAVEL_WX_CONTROL names a folder: commands
// are then read, one per line, from the FIFO "<folder>/in" (made when missing), and each answer
// is appended as one line to "<folder>/out". A command is "<tag> <verb> [arguments]"; its answer
// is "<tag> ok [result]" or "<tag> error <why>", written once the command has run on the UI
// thread (a command that opens a modal box answers when the box has closed). Verbs are listed in
// ControlCommands.h. Texts in answers are escaped: \\ \n \r and \xNN for other control bytes.
//
// Threading rules: Start and Stop on the UI thread. A reader thread of its own waits for
// commands and hands each to the UI thread through CallOnUiThread.

#include <memory>
#include <string>
#include <thread>

class ControlChannel {
  public:
    // The channel the environment asks for, or null.
    static std::unique_ptr<ControlChannel> FromEnvironment();

    explicit ControlChannel(std::string folder);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    bool Start();
    void Stop();

  private:
    void ReadCommands();
    void Answer(const std::string& line);

    std::string m_folder;
    int m_in = -1;
    int m_out = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_reader;
};

// "\\", "\n", "\r" and "\xNN" for the other control bytes, so an answer stays one line.
std::string EscapeForAnswer(const std::string& text);
