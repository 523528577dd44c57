#pragma once

// The log pane: a rich edit that the system appends its messages and the box's console bytes to.
// It adds nothing to the text (no line break, no time stamp): what the caller passes is what
// appears. Each append is one insertion at the end and one scroll to the bottom, so echoing the
// console one byte at a time costs the same per byte however long the log grows.
//
// The log is bounded, for a station that runs for days: once the text passes kMaxBytes, whole
// lines are cut from its start until at most kKeptBytes remain. The cut is one replacement of
// the text's start by nothing, which every view of the pane sees like any other insertion. The
// slack between the two bounds makes a cut rare (once per MiB of log), so a view that rebuilds
// itself on a cut costs little per byte.
//
// Threading rules: UI thread only. Other threads post to the dialog, which appends.

#include <cstddef>
#include <string_view>

#include "platform/window/RichEditCtrl.h"

class CLogEdit : public CRichEditCtrl {
  public:
    // The class's run-time name, for type identification.
    static constexpr std::string_view kRuntimeClassName = "CLogEdit";
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr std::size_t kKeptBytes = 3 * 1024 * 1024;

    ~CLogEdit() override;

    // Adds `text` (NUL-terminated; null counts as empty) at the end and scrolls to the bottom.
    void AppendText(const char* text);
    // printf-style; the result is appended whole, however long it is.
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    void TrimOldLines();
};
