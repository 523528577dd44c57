#pragma once

// Whether a slot's box may have its START answered, under a job that requires each box's scan
// (scan = "required"), or whose station refused the box (repeats = "block"). The scan names the
// box; where the box also prints its own id (box_id), the two must agree. No image byte goes out
// before the START is answered, so a box that is refused here, or whose console disagrees before
// its START, never gets one; a console id seen later still stops the box at once.
//
// Threading rules: one thread (the slot's UI thread); plain logic, no clock.

#include <optional>
#include <string>
#include <utility>

#include "download/SessionEvents.h"

class ScanGate {
  public:
    explicit ScanGate(bool required) : m_required(required) {}

    // A new download begins (START pressed): what its box printed before is forgotten.
    void Started() { m_console.reset(); }
    // The station's inputs, for the next box or the box in hand: the scanned id, with why that
    // box is refused where it is; why the box that printed `id` is refused.
    void Scanned(std::string id, std::string why = {});
    void Refused(std::string id, std::string why);
    // The box printed its own id (box_id).
    void Identified(std::string id) { m_console = std::move(id); }
    // The box has its verdict: the next one needs a scan of its own.
    void BoxEnded() {
        m_scanned.reset();
        m_refusal.reset();
        m_console.reset();
    }

    enum class Step { Answer, Hold, Fail };
    // What to do with the box's START (or, once answered, with the box).
    Step Next() const;
    // Why the box fails, with Step::Fail.
    DownloadEnded Failure() const;

    bool Required() const { return m_required; }
    // The box's id for its record: the scanned one.
    const std::optional<std::string>& ScannedId() const { return m_scanned; }

  private:
    bool RefusedNow() const {
        return m_refusal && (m_refusal->first == m_scanned || m_refusal->first == m_console);
    }

    bool m_required;
    std::optional<std::string> m_scanned;
    // The refused box's id and why; it holds only while this box is the one it names.
    std::optional<std::pair<std::string, std::string>> m_refusal;
    std::optional<std::string> m_console;
};

// "wrong box in socket: scanned SN1, box says SN2", each id shown safely.
std::string MismatchText(const std::string& scanned, const std::string& console);
