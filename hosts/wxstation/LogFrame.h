#pragma once

// A slot's log as it grows: the file the station's log folder holds for the box in hand, or the
// last box's, read again twice a second from where it was, with Save to keep a copy. It shows
// the last megabyte at most, so a long box cannot fill the window's memory.

#include <wx/frame.h>
#include <wx/timer.h>

#include <cstdint>
#include <functional>
#include <string>

class wxTextCtrl;

class LogFrame : public wxFrame {
  public:
    // `loading` says whether the slot has a box in hand now.
    LogFrame(wxWindow* parent, std::string dir, std::string slot, std::function<bool()> loading);

  private:
    void Follow();
    void Save();

    std::string m_dir;
    std::string m_slot;
    std::function<bool()> m_loading;
    std::string m_file;  // the file shown
    std::uintmax_t m_read = 0;
    wxTextCtrl* m_text = nullptr;
    wxTimer m_timer;
};
