#include "tests/hosts/wx/testable/TestableHost.h"

#include <wx/filedlg.h>
#include <wx/timer.h>

#include "hosts/wx/WxFonts.h"

TestableHost* TestableHost::Current() {
    return dynamic_cast<TestableHost*>(WxHost::Current());
}

int TestableHost::ShowFileDialog(wxFileDialog& dialog) {
    if (m_fileAnswers.empty()) {
        return WxHost::ShowFileDialog(dialog);
    }
    // GTK selects a file only after it has read the folder, so the pick is repeated until the
    // dialog reports it (or given up, which cancels).
    const wxString answer = ToWx(m_fileAnswers.front());
    m_fileAnswers.erase(m_fileAnswers.begin());
    wxTimer picker;
    int tries = 0;
    picker.Bind(wxEVT_TIMER, [&dialog, &tries, answer](wxTimerEvent&) {
        if (dialog.GetPath() == answer) {
            dialog.EndModal(wxID_OK);
        } else if (++tries > 200) {
            dialog.EndModal(wxID_CANCEL);
        } else {
            dialog.SetPath(answer);
        }
    });
    picker.Start(50);
    return dialog.ShowModal();
}
