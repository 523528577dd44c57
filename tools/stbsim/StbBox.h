#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tools/stbsim/StbLine.h"
#include "tools/stbsim/StbSimOptions.h"
#include "tools/stbsim/StbSimStats.h"

// One box's download, from power-on to EXIT_APP: boot banner, STB_START (repeated until the
// tool answers), STB_TIME_REQ, the image in blocks, EXIT_APP, then a quiet wait for strays.
// Every answer is checked byte by byte; the first fault ends the box with a message naming it.
//
// Repeating STB_START matters because the tool may open (and purge) the port after the box has
// powered on, and it leaves bytes unanswered while no download runs. When the box had to repeat
// itself, the tool may answer each repeat in turn; the box then prints console lines, which
// make the tool look at its input again, and accepts one acknowledgement per repeat until the
// line stays quiet, so that no late acknowledgement is mistaken for the next answer.
//
// Threading: runs on the simulator's thread only.
class StbBox {
  public:
    StbBox(const StbSimOptions& options, StbLine& line, StbSimStats& stats, int number);

    // Empty when the box completed its download (or hung up as asked), else the fault.
    std::string Run();
    // The box ended early as asked: hung up, stopped reading or fell silent.
    bool HungUp() const { return m_bHungUp; }
    // How it ended early ("line hung up", "stopped reading", "fell silent"); empty otherwise.
    const std::string& EarlyEnd() const { return m_strEarlyEnd; }

  private:
    using Clock = StbLine::Clock;

    // A box that never asks (StbSimOptions::chatter).
    std::string Chatter();
    // Talk for programMs before EXIT_APP.
    std::string Program();
    std::string Start();
    std::string SettleRepeatedStarts(int unanswered);
    std::string Time();
    std::string Data();
    std::string Block(uint32_t offset, uint16_t length);
    std::string CheckBlock(uint32_t offset, const uint8_t* got, size_t count);
    std::string Exit();

    // Writes a request (in pieces when splitting) after any console noise; checks first that
    // nothing unasked for is waiting on the line.
    std::string SendRequest(const std::vector<uint8_t>& frame, const std::string& what);
    std::string WriteAll(const std::string& text);
    // Waits for the first byte of an answer and records the turnaround.
    std::string AwaitAnswer(const std::string& what, Clock::time_point deadline, bool isData);
    std::string ReadAnswer(uint8_t* data, size_t size, const std::string& what,
                           Clock::time_point deadline);
    // Reads the 4-byte answer to a start and checks it is 02 01 0A 03.
    std::string ReadStartAnswer(const std::string& what);
    std::string IoFault(StbLine::Io io, const std::string& what) const;
    Clock::time_point AnswerDeadline(size_t answerBytes) const;

    // The bytes received in the region of --show-region (-1: none yet), said at the end.
    std::vector<int> m_region;
    void ShowRegion();

    const StbSimOptions& m_options;
    StbLine& m_line;
    StbSimStats& m_stats;
    int m_nNumber;
    uint64_t m_nRequests = 0;
    Clock::time_point m_requestSent{};
    bool m_bHungUp = false;
    bool m_bDataAnswered = false;
    std::string m_strEarlyEnd;
    // Stops reading or falls silent when the options ask for it now; `done` once it has.
    std::string FailOnPurpose(bool& done);
    void Freeze(const std::string& what);
};
