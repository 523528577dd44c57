#pragma once

// Boxes that passed before, by the identity they printed (--box-id): read from the report when
// a run begins and added to as boxes pass, so that a box loaded again is told apart from a new
// one, and its record points at the earlier one. One entry per box that passed.
//
// Threading rules: one owner thread.

#include <map>
#include <optional>
#include <string>

#include "record/BoxRecord.h"

class PassedBoxes {
  public:
    struct Earlier {
        std::string recordId;
        std::chrono::system_clock::time_point start;
        std::string slot;
    };

    // The passes `report` holds count too; it is read at the first Find, so that only a run
    // that reads box ids reads it.
    explicit PassedBoxes(std::optional<std::string> report = std::nullopt)
        : m_report(std::move(report)) {}

    std::optional<Earlier> Find(const std::string& boxId);
    // A box has passed: later ones with its id are repeats (the first pass stays the one named).
    void Add(const BoxRecord& record);

  private:
    // The passes the report holds; lines that are not records are passed over.
    void Load(const std::string& reportPath);

    std::optional<std::string> m_report;  // not read yet
    std::map<std::string, Earlier> m_passed;
};

// "box 4711 was loaded before: 10:32, slot A2", the time in local time.
std::string RepeatWarning(const std::string& boxId, const PassedBoxes::Earlier& earlier);
// Why a box that passed before is refused (repeats = "block"): "box 4711 already passed:
// 2026-12-08 10:32, slot A2, record 01J...", in local time.
std::string RepeatRefusal(const std::string& boxId, const PassedBoxes::Earlier& earlier);
