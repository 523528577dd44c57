#pragma once

// A running station's local control socket: `stavel --station-ctl NAME put-back A3 |
// take-out A3 | scan [A3] SN4711 | finish | status`. A Unix socket named by the station, in
// $XDG_RUNTIME_DIR/stavel/ (or /run/stavel/ where that is not set, as for a service), that only
// the station's own user and root may use (the folder 0700, the socket 0600). One request a
// connection, one line each way: "ok", what became of a scan ("A3: box SN4711 scanned"), a JSON
// array of the slots' statuses for status (SlotStatusCodec.h, each with its "slot"), or "error:
// WHAT" for a request it refuses.
//
// A socket left behind by a killed station is replaced at the next start; a second station of
// the same name on one PC finds the first one's socket answering and is refused before it
// serves.
//
// Threading rules: Open and the destructor on the owner's thread; the socket is served on a
// thread of its own, which asks the station (AskPutBack, AskTakeOut, AskFinish: any thread's);
// the observer's calls come from the supervisor's thread.

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "station/StationObserver.h"

class Station;

// The folder a station's control socket lies in: $XDG_RUNTIME_DIR/stavel, or /run/stavel.
std::string ControlFolder();
// The socket of the station named `name`; empty for a name that cannot name a file.
std::string ControlSocketPath(const std::string& name);

class StationControl final : public StationObserver {
  public:
    StationControl() = default;
    ~StationControl() override;
    StationControl(const StationControl&) = delete;
    StationControl& operator=(const StationControl&) = delete;

    // Makes the socket and starts serving `station`. `running` is set when another station of
    // the name answers on it (the caller refuses to serve).
    Result<void> Open(const std::string& name, Station& station, bool& running);
    const std::string& Path() const { return m_path; }

    // The slots as they stand, for status.
    void OnSlots(const std::vector<SlotStatus>& slots) override;

    // One request's answer (without its line break), as the socket gives it.
    std::string Answer(const std::string& request);

  private:
    void Serve();

    Station* m_station = nullptr;
    std::string m_path;
    UniqueFd m_listen;
    UniqueFd m_quit;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<SlotStatus> m_slots;
};

// The client's side: sends `request` to the station named `name` (in ControlFolder(), else in
// /run/stavel, where a service's station listens), answers its reply line, or fails with why.
Result<std::string> AskStation(const std::string& name, const std::string& request);
