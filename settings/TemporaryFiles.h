#pragma once

// The temporary files a save makes beside the settings file, kept track of so that none
// outlives the process. A save names its temporary file only for the moment between linking it
// and renaming it over the target (it is written while it has no name at all, where the file
// system allows); while named it is registered here. A process that ends at once on a signal
// removes the registered names first (RemovePendingTemporaries); what SIGKILL or a power cut
// leaves behind is removed by the next save in that folder (SweepStaleTemporaries).
//
// Threading rules: any thread. RemovePendingTemporaries may run while another thread saves.

#include <string>

// Registers `path` for the life of the object.
class PendingTemporary {
  public:
    explicit PendingTemporary(std::string path);
    ~PendingTemporary();
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;

  private:
    std::string m_path;
};

// Removes every registered temporary file; for a process about to end at once.
void RemovePendingTemporaries();

// The name a temporary file for `target` gets: ".<name>.<pid>.<n>.tmp" in the target's folder,
// so that no other writer (another thread or process) picks it too.
std::string TemporaryNameFor(const std::string& target);

// Removes temporary files for `target` left by processes that no longer run.
void SweepStaleTemporaries(const std::string& target);
