#pragma once

// A station served from a window: the supervisor runs on a thread of its own, so its polling
// never holds the event loop, and what it tells reaches the window's thread through `post`.
//
// Threading rules: construct, Finish, StopNow and destroy on the window's thread. The listener
// is called on the window's thread only, through `post`, and never after the run is destroyed.

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "station/Station.h"

class StationRun {
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        virtual void OnSlot(const SlotStatus& status) = 0;
        virtual void OnRecord(const std::string& slot, const std::string& recordLine) = 0;
        virtual void OnMessage(const std::string& text) = 0;
        virtual void OnEnded(const StationEnd& end) = 0;
        // What became of an operator's scan (Scan).
        virtual void OnScan(const ScanNews& /*news*/) {}
    };
    // Hands a call to the window's thread (wxApp::CallAfter, say).
    using Post = std::function<void(std::function<void()>)>;

    // `also` (a publisher for the line's broker, say) hears the supervisor on its own thread.
    StationRun(StationConfig config, Listener& listener, Post post,
               StationObserver* also = nullptr);
    // Stops the boxes in flight at once if it still runs, and waits for the supervisor.
    ~StationRun();
    StationRun(const StationRun&) = delete;
    StationRun& operator=(const StationRun&) = delete;

    // The boxes in flight finish; no slot takes another.
    void Finish();
    // Every box in flight stops now, with its ABORTED record.
    void StopNow();
    // A slot taken out of service is put back; false for a slot the station has none of.
    bool PutBack(const std::string& slot);
    // Gently: the box in hand finishes, and the slot takes no other until it is put back.
    bool TakeOut(const std::string& slot);
    // An operator's scan, as the scanner typed it (ScanDesk.h); the listener hears what became
    // of it.
    void Scan(const std::string& scan);
    // The label of the slot's last box that passed, printed again; false for a slot the station
    // has none of.
    bool Reprint(const std::string& slot);

  private:
    class Relay;
    std::shared_ptr<Relay> m_relay;
    std::unique_ptr<Station> m_station;
    std::thread m_thread;
};
