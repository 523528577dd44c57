#pragma once

// The log pane (control 1001): a multi-line read-only text control that shows the rich edit's
// bytes as text (LogTextDecoder). An append costs one insertion at the end: appends that arrive
// within one turn of the event loop (the box's console echoed byte by byte) are gathered and
// inserted together when the turn ends, and the view is then scrolled to the bottom once. Any
// other change of the model's text (replacing it, inserting before the end) rebuilds the view.
//
// The text is set in a fixed-width font, as box consoles print tables. Being read-only, the log
// offers no text-entry items (emoji, input methods) in its menu: only Copy, Select All and
// "Save Log As..." (also Ctrl+S on the window), which the owner provides.
//
// Threading rules: UI thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hosts/wx/LogTextDecoder.h"
#include "hosts/wx/WidgetBinding.h"

class wxTextCtrl;
class wxMenu;
class wxPoint;

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
    // The text as the control shows it, in UTF-8.
    std::string ShownText() const;
    // What "Save Log As..." does; without one the item is not offered.
    void SetSaveAction(std::function<void()> save) { m_save = std::move(save); }
    void ShowMenu(const wxPoint& where);
    // The labels of the menu's items, a separator as "-".
    std::vector<std::string> MenuItems() const;

  private:
    void Rebuild(CWnd& model);
    void ScheduleFlush();
    wxTextCtrl* Text() const;
    void BuildMenu(wxMenu& menu) const;
    void ShowFocus(bool focused);
    std::function<void()> m_save;

    LogTextDecoder m_decoder;
    std::size_t m_bytesSeen = 0;  // bytes of the model's text that reached the decoder
    std::string m_gathered;       // decoded, not yet in the control
    bool m_scrollWanted = false;
    bool m_flushScheduled = false;
    // Lets a scheduled flush find out that the view has gone.
    std::shared_ptr<LogView*> m_self;
};
