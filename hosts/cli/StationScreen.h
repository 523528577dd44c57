#pragma once

// The command line's station on its terminal: the supervisor's news as the table or the event
// lines and --json (StationView.h), and at the end the tally per slot and in total. Whatever else
// watches the station (a publisher for the line's broker) hears everything as well, after it.
//
// Threading rules: the supervisor's thread only.

#include <map>
#include <string>
#include <vector>

#include "hosts/cli/StationView.h"
#include "hosts/cli/TerminalBell.h"
#include "station/StationObserver.h"

class StationScreen final : public StationObserver {
  public:
    // `also` may be null; `bell` rings when the line calls for someone (--bell).
    StationScreen(bool json, StationObserver* also, bool bell = false);

    void OnStationStarted(const std::vector<std::string>& slots) override;
    void OnStationEnded() override;
    void OnSlotChanged(const SlotStatus& status) override;
    void OnRecordFinal(const std::string& slot, const std::string& recordLine) override;
    void OnMessage(const std::string& text) override;
    void OnBoxStarted(const std::string& slot) override;
    void OnBoxJudged(const std::string& slot, const BoxRecord& record, const std::string& said,
                     const std::string& recordError) override;
    void OnBoxRecovered(const std::string& slot, const BoxRecord& record,
                        const std::string& recordLine) override;
    void OnPortState(const std::string& slot, SlotState state, const std::string& why) override;
    void OnSlots(const std::vector<SlotStatus>& slots) override;
    void OnScan(const ScanNews& news) override;

  private:
    StationObserver m_none;
    StationObserver& m_also;
    StationView m_view;
    std::vector<SlotStatus> m_slots;       // as last told
    std::map<std::string, double> m_time;  // each slot's boxes' seconds, summed
    TerminalBell m_bell;
    std::map<std::string, SlotState> m_shown;  // each slot's state as last told
};

// The tally: per slot its passed, failed and aborted boxes, yield and mean time per box, and the
// total; `seconds` sums each slot's boxes' time.
std::string TallyText(const std::vector<SlotStatus>& slots,
                      const std::map<std::string, double>& seconds);
