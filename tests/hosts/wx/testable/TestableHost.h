#pragma once

// The desktop host of the window tests' build: the product's host, plus file dialogs that pick
// the file a test queued, as an operator would once the dialog is open.
//
// Threading rules: UI thread only, like WxHost.

#include <string>
#include <vector>

#include "hosts/wx/WxHost.h"

class TestableHost final : public WxHost {
  public:
    // The host in force when it is this one, or null.
    static TestableHost* Current();

    // The next file dialog picks `path` itself once it is open.
    void QueueFileDialogAnswer(std::string path) { m_fileAnswers.push_back(std::move(path)); }

  protected:
    int ShowFileDialog(wxFileDialog& dialog) override;

  private:
    std::vector<std::string> m_fileAnswers;
};
