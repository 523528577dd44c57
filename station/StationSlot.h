#pragma once

// A slot as its supervisor keeps it: shared by the supervisor's files (Station.cpp,
// StationRetry.cpp), and by nothing else.

#include "download/BoxSession.h"
#include "station/Station.h"
#include "station/StationFiles.h"

struct Station::Slot {
    std::size_t index = 0;
    std::string port;  // as the operator gave it
    SlotPlace place;
    std::unique_ptr<SlotPeer> peer;
    Phase phase = Phase::Idle;
    SlotStatus status;
    SessionSink sink;
    std::unique_ptr<BoxSession> session;
    std::optional<BoxRecord> slotRecord;  // the record the slot sent for its box, if it did
    int boxes = 0;                        // records kept for this slot
    long pid = 0;                         // its process, which names its hidden files
    std::optional<std::string> logFile;   // the hidden log of its process's box in hand
    std::optional<std::string> captureFile;
    std::string boxRecordId;  // the box in flight's record id, should the station be killed
    bool gone = false;        // its process has ended: its box's files are the station's to close
    Clock::time_point nextTry{};
    Clock::time_point lastWord{};  // the slot last said anything
    Clock::time_point lastShown{};
    bool greeted = false;  // its hello came, of this station's version
    bool hung = false;     // killed by the watchdog
    bool broken = false;   // its channel brought a frame that does not decode
    bool refused = false;  // it speaks another version of the channel
    std::string ending;    // why it ends by itself, as it said
    // The unit dealt to it and not yet settled, and what the slot last said of its lease.
    std::optional<UnitData> unit;
    std::optional<UnitReport> unitReport;
    SlotState noted = SlotState::WaitingForPort;  // the last state said once
    // The box in hand's attempt (1 for a new box); on a retry, its first attempt's record id and
    // box id, and the last attempt's record, which a retry that never begins is judged from.
    int attempt = 1;
    std::string firstId;
    std::optional<std::string> firstBoxId;
    std::optional<BoxRecord> lastAttempt;
    FailRun failRun;
    bool takenOut = false;
    // A retry's power cycle: under way, when its off time ends; then how long its box may take
    // to begin (from when).
    enum class Cycle { None, Off, OffTime, On };
    Cycle cycle = Cycle::None;
    bool cycleRetries = false;  // the cycle is for a retry (else for the slot's next box)
    std::optional<Clock::time_point> powerOnAt;
    std::optional<Clock::time_point> retryUntil;
    std::chrono::system_clock::time_point retryFrom{};
    bool powerTold = false;    // its power control's failure was said
    std::string powerTrouble;  // "power control failed: ..." until a box begins or it works
    std::string outWhy;        // why it was taken out
    bool silentRetry = false;  // the record being kept is of a retry that never began
    // The id scanned for its next box (or the box in hand, through its retries), and why that
    // box is refused (repeats = "block"), until its final attempt is kept.
    std::optional<std::string> scanned;
    std::optional<std::string> refusal;
    std::optional<std::string> repeatOf;  // the refused box's first pass's record id
    std::optional<BoxRecord> lastPass;  // its last box that passed, whose label may be wanted again
};
