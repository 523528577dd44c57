#pragma once

// A slot's unit in hand: the data its station (or a single run's own pool) gave for the next
// box, written into that box's data answers once its START has opened the image, and named in
// its record when its session ends.
//
// A unit is given before the box it is for begins, so that the first answers never wait for the
// pool: the station deals the next one as soon as a box's record comes. Until the unit is
// served, the download answers no data request (DownloadState::m_unitWanted): a request that
// comes first waits for it. A download that ends without a box keeps its unit for the next.
//
// Threading rules: the UI thread.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/DownloadState.h"
#include "download/SessionEvents.h"
#include "record/BoxRecord.h"
#include "slot/UnitData.h"
#include "unit/UnitLayout.h"

class SlotUnit {
  public:
    explicit SlotUnit(UnitLayout layout) : m_layout(std::move(layout)) {}

    // The unit for the next box (or the box in hand, when it waits for one).
    void Take(UnitData unit) { m_unit = std::move(unit), m_served = false; }
    bool Holds() const { return m_unit.has_value(); }
    bool Served() const { return m_served; }
    std::optional<std::string> Lease() const {
        return m_unit ? std::optional<std::string>(m_unit->lease) : std::nullopt;
    }

    // What serving the unit in hand to the download under way gives: this box's bytes over the
    // region, and the unit's first report (nothing reached yet); or why the download must stop
    // instead (the image changed since START, a value that no longer fits its field).
    struct Serving {
        std::optional<ImageOverlay> overlay;
        UnitReport report;
        // What the capture names: each field's value, a secret one's as its SHA-256.
        std::vector<std::pair<std::string, std::string>> shown;
        DownloadEnded stop;
    };
    Serving Serve(const DownloadState& state);

    // The box's session ended with `record`: names the unit served to it in the record (when any
    // byte of its region reached the port) and answers the lease's last report (how much of it
    // did); the unit is spent. Nothing when no unit was served to this box.
    std::optional<UnitReport> Close(BoxRecord& record, const DownloadState& state);
    // The download ended without a box: the unit waits for the next.
    void Unserve() { m_served = false; }

  private:
    UnitLayout m_layout;
    std::optional<UnitData> m_unit;
    bool m_served = false;
    std::string m_servedSha256;
};
