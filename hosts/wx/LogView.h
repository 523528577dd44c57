#pragma once

// The log pane (control 1001): a multi-line read-only text control that shows the rich edit's
// bytes as text (LogTextDecoder). An append costs one insertion at the end: appends that arrive
// within one turn of the event loop (the box's console echoed byte by byte) are gathered and
// inserted together when the turn ends, and the view is then scrolled to the bottom once. Any
// other change of the model's text (replacing it, inserting before the end) rebuilds the view.
//
// Threading rules: UI thread only.

#include <memory>
#include <string>

#include "hosts/wx/LogTextDecoder.h"
#include "hosts/wx/WidgetBinding.h"

class wxTextCtrl;

class LogView : public WidgetBinding {
  public:
    LogView(CWnd& model, wxWindow* parent);
    ~LogView() override;

    void Sync(CWnd& model) override;
    void OnTextChanged(CWnd& model) override;
    void OnTextInserted(CWnd& model, std::size_t position, std::size_t replacedLength,
                        std::string_view text) override;
    void OnScrolledToBottom(CWnd& model) override;

    // Puts what was gathered into the control now (the end of a loop turn does this by itself).
    void Flush();

  private:
    void Rebuild(CWnd& model);
    void ScheduleFlush();
    wxTextCtrl* Text() const;

    LogTextDecoder m_decoder;
    std::size_t m_bytesSeen = 0;  // bytes of the model's text that reached the decoder
    std::string m_gathered;       // decoded, not yet in the control
    bool m_scrollWanted = false;
    bool m_flushScheduled = false;
    // Lets a scheduled flush find out that the view has gone.
    std::shared_ptr<LogView*> m_self;
};
