#include "tests/hosts/wx/testable/ControlCommands.h"

#include <sstream>

#include <wx/bitmap.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/filedlg.h>
#include <wx/image.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "app/Resources.h"
#include "hosts/wx/ButtonBinding.h"
#include "hosts/wx/ComboBinding.h"
#include "hosts/wx/LogView.h"
#include "hosts/wx/MainWindowAids.h"
#include "hosts/wx/MessageWindow.h"
#include "hosts/wx/WxDialogWindow.h"
#include "hosts/wx/WxFonts.h"
#include "platform/window/Dialog.h"
#include "tests/hosts/wx/testable/ControlChannel.h"

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

namespace {

template <class T>
T* BindingOf(WxDialogWindow& window, int id) {
    return dynamic_cast<T*>(window.Binding(id));
}

std::string Field(const std::string& key, const std::string& value) {
    return key + "=" + EscapeForAnswer(value) + "\t";
}

std::string ModelText(WxDialogWindow& window, int id) {
    CWnd* control = window.Dialog().GetDlgItem(id);
    return control != nullptr ? control->GetWindowText() : std::string();
}

std::string Shown(WxDialogWindow& window, int id) {
    WidgetBinding* binding = window.Binding(id);
    return binding != nullptr && binding->Widget()->IsShown() ? "1" : "0";
}

std::string State(WxDialogWindow& window) {
    std::string out;
    CDialog& dialog = window.Dialog();
    if (CWnd* progress = dialog.GetDlgItem(IDC_PROGRESS)) {
        out += Field("progress", progress->GetWindowText());
        out += Field("pos", std::to_string(progress->SendMessage(PBM_GETPOS)));
    }
    out += Field("lampGreen", Shown(window, IDC_LAMP_GREEN));
    out += Field("lampRed", Shown(window, IDC_LAMP_RED));
    if (CWnd* combo = dialog.GetDlgItem(IDC_COMBO_PORT)) {
        out += Field("combo", std::to_string(combo->SendMessage(CB_GETCURSEL)));
    }
    if (auto* binding = window.Binding(IDC_COMBO_PORT)) {
        out += Field("comboTip", FromWx(binding->Widget()->GetToolTipText()));
        out += Field("comboItem",
                     FromWx(static_cast<wxChoice*>(binding->Widget())->GetStringSelection()));
    }
    out += Field("path", ModelText(window, IDC_EDIT_PATH));
    if (auto* binding = window.Binding(IDC_EDIT_PATH)) {
        // What the field shows, in UTF-8 whatever the code set.
        out += Field("pathShown",
                     static_cast<wxTextCtrl*>(binding->Widget())->GetValue().utf8_string());
    }
    out += Field("start", ModelText(window, IDC_BTN_START));
    if (MainWindowAids* aids = window.Aids()) {
        out += Field("verdict", aids->Verdict().word);
        out += Field("verdictDetail", aids->Verdict().detail);
        out += Field("verdictShown", aids->Label().WordPanel()->IsShown() ? "1" : "0");
        out += Field("verdictWord", FromWx(aids->Label().WordLabel()));
        out += Field("verdictLine", FromWx(aids->Label().Detail()->GetLabelText()));
    }
    return out;
}

std::string Rect(const wxRect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

// Where each control's widget lies now, and the window's client size and place.
std::string Places(WxDialogWindow& window) {
    std::string out = "client=" + Rect(wxRect(window.GetPosition(), window.GetClientSize()));
    for (int id : {IDOK, IDC_BTN_START, IDC_LOG, IDC_COMBO_PORT, IDC_EDIT_PATH, IDC_BTN_BROWSE,
                   IDC_LAMP_GREEN, IDC_PROGRESS, IDC_CHK_DEBUG}) {
        if (WidgetBinding* binding = window.Binding(id)) {
            out += " " + std::to_string(id) + "=" + Rect(binding->Widget()->GetRect());
        }
    }
    if (MainWindowAids* aids = window.Aids()) {
        out += " verdict=" + Rect(aids->Label().WordPanel()->GetRect());
        out += " detail=" + Rect(aids->Label().Detail()->GetRect());
    }
    return out;
}

// The client area read back from the display, so what the operator sees is what the file holds.
// It is read through the window itself: a copy from the whole screen stopped the toolkit from
// painting the window again.
// With `paintFirst`, what waits to be painted is painted before the picture is taken; without,
// the picture is what the screen shows at this moment, as the operator sees it.
std::string Screenshot(WxDialogWindow& window, const std::string& path, bool paintFirst) {
    if (!window.IsShownOnScreen()) {
        return "error the window is not shown";
    }
    if (paintFirst) {
        window.Update();
    }
    const wxSize size = window.GetClientSize();
    wxBitmap picture(size.GetWidth(), size.GetHeight(), 24);
    {
        wxClientDC screen(&window);
        wxMemoryDC memory(picture);
        if (!memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, 0, 0)) {
            return "error cannot capture the window";
        }
    }
    if (!picture.ConvertToImage().SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG)) {
        return "error cannot write " + path;
    }
    const DialogBaseUnits units = WxHost::Current()->BaseUnits();
    std::ostringstream out;
    out << "ok " << size.GetWidth() << " " << size.GetHeight() << " " << units.cx << " "
        << units.cy;
    if (CWnd* progress = window.Dialog().GetDlgItem(IDC_PROGRESS)) {
        const WindowPlacement p = progress->GetPlacement();
        out << " " << progress->SendMessage(PBM_GETPOS) << " " << p.x << " " << p.y << " " << p.cx
            << " " << p.cy;
    }
    return out.str();
}

std::string Run(const std::string& verb, const std::string& rest, WxDialogWindow& window) {
    std::istringstream args(rest);
    int a = 0, b = 0;
    args >> a >> b;
    if (verb == "click") {
        auto* button = BindingOf<ButtonBinding>(window, a);
        if (button == nullptr) {
            return "error no button " + std::to_string(a);
        }
        button->Click();
    } else if (verb == "choose") {
        auto* combo = BindingOf<ComboBinding>(window, a);
        if (combo == nullptr) {
            return "error no combo box " + std::to_string(a);
        }
        combo->Choose(b);
    } else if (verb == "close") {
        window.Close();
    } else if (verb == "state") {
        return "ok " + State(window);
    } else if (verb == "log") {
        auto* log = BindingOf<LogView>(window, IDC_LOG);
        if (log == nullptr) {
            return "error no log";
        }
        log->Flush();
        return "ok " +
               EscapeForAnswer(static_cast<wxTextCtrl*>(log->Widget())->GetValue().utf8_string());
    } else if (verb == "places") {
        return "ok " + Places(window);
    } else if (verb == "resize") {
        window.SetClientSize(a, b);
    } else if (verb == "move") {
        window.Move(a, b);
    } else if (verb == "drop") {
        MainWindowAids* aids = window.Aids();
        if (aids == nullptr) {
            return "error no main window";
        }
        // The toolkit hands over names as its own strings; the command's are UTF-8.
        wxArrayString files;
        files.Add(wxString::FromUTF8(rest));
        return aids->DropFiles(files) ? "ok taken" : "ok refused";
    } else if (verb == "ctrlkey") {
        // A Ctrl+letter press as the window's key hook sees it.
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = rest.empty() ? 0 : rest[0];
        event.m_controlDown = true;
        event.SetEventObject(&window);
        window.GetEventHandler()->ProcessEvent(event);
    } else if (verb == "screenshot") {
        return Screenshot(window, rest, true);
    } else if (verb == "grab") {
        return Screenshot(window, rest, false);
    } else {
        return "error unknown verb " + verb;
    }
    return "ok";
}

}  // namespace

std::string RunControlCommand(const std::string& line) {
    std::string tag, verb, rest;
    std::istringstream in(line);
    in >> tag >> verb;
    std::getline(in >> std::ws, rest);  // the arguments as one text (a path may hold blanks)
    WxHost* host = WxHost::Current();
    if (verb == "file" && TestableHost::Current() != nullptr) {
        TestableHost::Current()->QueueFileDialogAnswer(rest);
        return tag + " ok";
    }
    if (verb == "msgbox") {
        // The open message box: its client size, the width its title needs, its title and its
        // text; or, with "ok", its OK button pressed.
        MessageWindow* box = host != nullptr ? host->OpenMessageBox() : nullptr;
        if (box == nullptr) {
            return tag + " error no message box";
        }
        if (rest == "ok") {
            box->EndModal(wxID_OK);
            return tag + " ok";
        }
        const wxSize size = box->GetClientSize();
        return tag + " ok " + std::to_string(size.GetWidth()) + " " +
               std::to_string(size.GetHeight()) + " " + std::to_string(box->TitleWidth()) + " " +
               EscapeForAnswer(FromWx(box->GetTitle())) + " " + EscapeForAnswer(box->Text());
    }
    if (host == nullptr || host->RunningWindows().empty()) {
        return tag + " error no dialog";
    }
    return tag + " " + Run(verb, rest, *host->RunningWindows().back());
}
