#include "slot/SlotUnit.h"

#include "download/ServedImage.h"
#include "unit/UnitRegion.h"

SlotUnit::Serving SlotUnit::Serve(const DownloadState& state) {
    Serving serving;
    const std::optional<std::string> base =
        ImageBytes(state, m_layout.offset, static_cast<std::size_t>(m_layout.length));
    if (!base) {
        serving.stop.reason = EndReason::ImageChanged;
        return serving;
    }
    UnitValues values;
    values.fieldTexts = m_unit->fields;
    Result<std::string> region =
        values.fieldTexts.size() == m_layout.fields.size()
            ? RenderUnitRegion(m_layout, *base, values)
            : Result<std::string>(Refusal("unit", "the station gave another number of fields"));
    if (!region) {
        // A counter grown past its field gives no value that fits: for this job, the source
        // is spent.
        serving.stop.reason = EndReason::UnitPoolEmpty;
        serving.stop.failure = SysFailure(SysResult{SysStatus::Failed, "", 0}, "",
                                          "unit pool empty: " + region.Failure().Describe());
        return serving;
    }
    ImageOverlay overlay{m_layout.offset, std::move(*region)};
    m_servedSha256 = ServedSha256(state, overlay);
    m_served = true;
    serving.report = UnitReport{m_unit->lease, 0, m_layout.length, m_servedSha256, false};
    serving.shown = UnitShown(m_layout, values);
    serving.overlay = std::move(overlay);
    return serving;
}

std::optional<UnitReport> SlotUnit::Close(BoxRecord& record, const DownloadState& state) {
    if (!m_served || !m_unit) {
        return std::nullopt;
    }
    UnitReport report{m_unit->lease, state.m_tally.overlaySent.Bytes(), m_layout.length,
                      m_servedSha256, true};
    // A box none of whose region reached the port was given none of its values: they go back to
    // the pool, for another box whose record will name them.
    if (report.reached > 0) {
        UnitValues values;
        values.fieldTexts = m_unit->fields;
        record.unit = UnitShown(m_layout, values);
        if (!m_servedSha256.empty()) {
            record.servedSha256 = m_servedSha256;
        }
    }
    m_unit.reset();
    m_served = false;
    return report;
}
