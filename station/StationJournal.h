#pragma once

// The station's journal of its slots, beside its report, so that a station killed mid-box (kill
// -9, a power cut, a crash) leaves what its next start needs to give each box in flight its
// record (station/SlotJournal.h says what one slot's journal holds).
//
// How it works. Each run of a station has a folder of its own under "<report>.in-flight/":
// "run-XXXXXX/" with a "lock" file, which the run holds locked (flock) while it lives and which
// names the station's temporary folder, and one journal per slot, "slot<N>.json", written whole
// aside and renamed over the last one, so a reader never sees half of one. A run that ends
// removes its folder. A later start beside the same report takes the folders whose lock it can
// take: their station is gone (the kernel let go of its lock when it died), and no living
// station's folder is ever taken. A run is taken by one start only, which removes its folder once
// it is done with it. A report that is not a file on disk (a pipe, /dev/stdout) has no journal.
//
// Threading rules: one owner thread per object.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "station/SlotJournal.h"

class StationJournal {
  public:
    // This run's journal beside `report`, naming `tempDir`; nothing (and no failure) for a
    // report that is not a file on disk. Fails with why the folder or its lock cannot be made.
    static Result<std::unique_ptr<StationJournal>> Open(const std::string& report,
                                                        const std::string& tempDir);
    // The run ended: its folder goes.
    ~StationJournal();
    StationJournal(const StationJournal&) = delete;
    StationJournal& operator=(const StationJournal&) = delete;

    // Slot `index`'s journal in one step; `sync` also waits for the disk (once a box, when it
    // begins: updates after it cost no wait).
    Result<void> Write(std::size_t index, const SlotJournal& journal, bool sync);
    // Slot `index`'s process has ended and its files are closed: nothing of it is left to tell.
    void Remove(std::size_t index);
    const std::string& Folder() const { return m_dir; }

  private:
    StationJournal(std::string dir, UniqueFd lock)
        : m_dir(std::move(dir)), m_lock(std::move(lock)) {}
    std::string PathOf(std::size_t index) const;

    std::string m_dir;
    UniqueFd m_lock;
};

// A run of a station beside the same report that was killed: its journals, taken by this start.
class AbandonedRun {
  public:
    struct Journal {
        std::string path;
        std::optional<SlotJournal> journal;  // nothing for a file that does not read as one
    };

    // Every run beside `report` whose station is gone, each held until it is destroyed.
    static std::vector<std::unique_ptr<AbandonedRun>> Find(const std::string& report);
    // Removes what is left of the run: its journals, its lock, its folder.
    ~AbandonedRun();
    AbandonedRun(const AbandonedRun&) = delete;
    AbandonedRun& operator=(const AbandonedRun&) = delete;

    const std::vector<Journal>& Journals() const { return m_journals; }
    // The killed station's temporary folder, where its lock names one of the station's own.
    const std::optional<std::string>& TempDir() const { return m_tempDir; }
    // A journal is done with (its box recorded): it is never taken again.
    static void Forget(const Journal& journal);

  private:
    AbandonedRun(std::string dir, UniqueFd lock) : m_dir(std::move(dir)), m_lock(std::move(lock)) {}

    std::string m_dir;
    UniqueFd m_lock;
    std::vector<Journal> m_journals;
    std::optional<std::string> m_tempDir;
};

// The folder of the journals beside `report`: "<report>.in-flight".
std::string JournalFolderFor(const std::string& report);
