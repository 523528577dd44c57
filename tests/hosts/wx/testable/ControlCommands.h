#pragma once

// The verbs of the test-only control channel (ControlChannel.h), and the desktop host of the
// window tests' build. Each verb acts on the innermost running dialog through its widgets, the
// way the operator's input arrives:
//   click ID          the button or check box with that control id is clicked
//   choose ID INDEX   entry INDEX of the combo box is chosen
//   close             the close box
//   file PATH         the next file dialog picks PATH once it is open
//   state             what the windows show, as "key=value" fields joined by "\t"
//   log               the text the log view shows, in UTF-8 whatever the code set
//   places            the client area's place and size, and each control's ("ID=x,y,w,h")
//   resize W H        the client area made W x H;  move X Y  the window moved there
//   drop PATH         PATH dropped on the window as a file: "ok taken" or "ok refused"
//   ctrlkey L         Ctrl+L pressed (S: Save Log As)
//   msgbox [ok]       the open message box: "WIDTH HEIGHT TITLEWIDTH TITLE TEXT"; "ok" presses OK
//   screenshot PATH   a PNG of the innermost dialog's client area as the display shows it once
//                     what waits is painted; answers its size, the base units and the progress
//                     bar's position and place
//   grab PATH         the same, as the display shows it now, nothing painted first
//
// Threading rules: UI thread only.

#include <string>
#include <vector>

#include "hosts/wx/WxHost.h"

// Runs one command line ("<tag> <verb> [arguments]") and answers its answer line.
std::string RunControlCommand(const std::string& line);

// The product's host, plus file dialogs that pick the file a test queued, as an operator would
// once the dialog is open.
class TestableHost final : public WxHost {
  public:
    // The host in force when it is this one, or null.
    static TestableHost* Current() { return dynamic_cast<TestableHost*>(WxHost::Current()); }
    void QueueFileDialogAnswer(std::string path) { m_fileAnswers.push_back(std::move(path)); }

  protected:
    int ShowFileDialog(wxFileDialog& dialog) override;

  private:
    std::vector<std::string> m_fileAnswers;
};
