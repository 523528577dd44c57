#pragma once

// A box's label printed again, when the operator asks from its slot's tile (or the control
// socket's reprint): the job's template and printer, filled from the box's record as when it
// passed. A printer may take up to its bound (label/LabelPrinter.h), so the label is sent from a
// thread of its own, one at a time: neither the window nor the supervisor waits for it.
//
// Threading rules: Print and TakeDone on the owner's thread (the supervisor's); the label is
// sent on a thread of its own, which calls `wake` when it is done. The destructor waits for a
// label in hand, at most its printer's bound.

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/BoxRecord.h"

class LabelReprinter {
  public:
    // `zpl` and `printer` as the job gave them (checked when it was read).
    LabelReprinter(std::string zpl, std::string printer, std::function<void()> wake);
    ~LabelReprinter();
    LabelReprinter(const LabelReprinter&) = delete;
    LabelReprinter& operator=(const LabelReprinter&) = delete;

    // Starts printing the label of `record`, served on slot `slot`; false while another label
    // is being printed.
    bool Print(const BoxRecord& record, const std::string& slot);
    // A line for the operator on each label sent since the last call ("A3: label of box SN1
    // printed again", "A3: label not printed: ...").
    std::vector<std::string> TakeDone();

  private:
    void Send(BoxRecord record, std::string slot);

    std::string m_zpl;
    std::string m_printer;
    std::function<void()> m_wake;
    std::mutex m_mutex;
    bool m_busy = false;
    std::vector<std::string> m_done;
    std::thread m_thread;
};
