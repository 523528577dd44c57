#pragma once

// Stavel_OV as a test runs it: a copy of its test-only build (Stavel_OV_testable, saved as
// Stavel_OV) in a private folder (so that its INI file, which lies beside the program, is the
// test's), started with a chosen environment, and driven through its remote control
// (tests/hosts/wx/testable/ControlChannel.h).
//
// Threading rules: one test thread.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/files/TempDir.h"
#include "tests/support/process/ChildProcess.h"

class StavelProcess {
  public:
    StavelProcess() = default;
    ~StavelProcess();

    const std::string& Folder() const { return m_folder.Path(); }
    std::string IniPath() const { return m_folder.File("Stavel_OV.ini"); }
    void WriteIni(const std::string& content) { WriteBytes(IniPath(), content); }
    std::string ReadIni() const { return ReadBytes(IniPath()); }
    // A test image of `size` bytes saved in the folder as `name`: its bytes, and its path in
    // `path`; empty when it could not be written.
    std::vector<std::uint8_t> SaveImage(const std::string& name, std::size_t size,
                                        std::string& path);

    // Starts the program with these extra environment variables; false when it cannot start.
    bool Start(const std::map<std::string, std::string>& env);
    // Sends a command and answers its tag; the answer may come later (a modal box).
    std::string Send(const std::string& command);
    // Waits for the answer to `tag` ("ok ..." or "error ..."); nothing when no answer came
    // within a limit that only guards against a hang.
    std::optional<std::string> Answer(const std::string& tag);
    // Send, then Answer.
    std::string Command(const std::string& command);
    // One field of "state".
    std::string StateField(const std::string& key);
    // Waits for the program to end; its exit status, or nothing if it did not end.
    std::optional<int> WaitForExit();
    bool Running() { return m_process && !m_process->Ended(); }
    pid_t Pid() const { return m_process ? m_process->Pid() : -1; }

  private:
    TempDir m_folder;
    std::unique_ptr<ChildProcess> m_process;
    int m_in = -1;
    int m_nextTag = 1;
};

// Undoes the control channel's escaping.
std::string Unescape(const std::string& text);

// A control's place as the "places" answer reports it ("id=x,y,w,h" fields).
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Box&, const Box&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Box& b) {
        return out << b.x << "," << b.y << " " << b.w << "x" << b.h;
    }
};

// One field of the "places" answer; all zero when there is none.
Box PlaceOf(const std::string& places, const std::string& key);
