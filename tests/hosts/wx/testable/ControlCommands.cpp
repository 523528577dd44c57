#include "tests/hosts/wx/testable/ControlCommands.h"

#include <sstream>

#include <wx/choice.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/Resources.h"
#include "hosts/wx/ButtonBinding.h"
#include "hosts/wx/ComboBinding.h"
#include "hosts/wx/LogView.h"
#include "hosts/wx/MainWindowAids.h"
#include "hosts/wx/MessageWindow.h"
#include "hosts/wx/WxDialogWindow.h"
#include "hosts/wx/WxFonts.h"
#include "hosts/wx/WxHost.h"
#include "platform/window/Dialog.h"
#include "tests/hosts/wx/testable/ControlChannel.h"
#include "tests/hosts/wx/testable/ScreenCapture.h"
#include "tests/hosts/wx/testable/TestableHost.h"

namespace {

struct Command {
    std::string tag;
    std::string verb;
    std::string rest;  // the arguments as one text (a path may hold blanks)
};

Command Parse(const std::string& line) {
    Command command;
    std::istringstream in(line);
    in >> command.tag >> command.verb;
    std::getline(in >> std::ws, command.rest);
    return command;
}

WxDialogWindow* Innermost() {
    WxHost* host = WxHost::Current();
    if (host == nullptr || host->RunningWindows().empty()) {
        return nullptr;
    }
    return host->RunningWindows().back();
}

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
    WxHost* host = WxHost::Current();
    out += Field("dialogs", std::to_string(host->RunningWindows().size()));
    out += Field("title", FromWx(window.GetTitle()));
    CDialog& dialog = window.Dialog();
    if (CWnd* progress = dialog.GetDlgItem(IDC_PROGRESS)) {
        out += Field("progress", progress->GetWindowText());
        out += Field("pos", std::to_string(progress->SendMessage(PBM_GETPOS)));
    }
    out += Field("lampGreen", Shown(window, IDC_LAMP_GREEN));
    out += Field("lampRed", Shown(window, IDC_LAMP_RED));
    if (CWnd* combo = dialog.GetDlgItem(IDC_COMBO_PORT)) {
        out += Field("combo", std::to_string(combo->SendMessage(CB_GETCURSEL)));
        if (auto* binding = window.Binding(IDC_COMBO_PORT)) {
            out += Field("comboTip", FromWx(binding->Widget()->GetToolTipText()));
            out += Field("comboItem",
                         FromWx(static_cast<wxChoice*>(binding->Widget())->GetStringSelection()));
        }
    }
    out += Field("path", ModelText(window, IDC_EDIT_PATH));
    if (auto* binding = window.Binding(IDC_EDIT_PATH)) {
        // What the field shows, in UTF-8 whatever the code set.
        out += Field("pathShown",
                     static_cast<wxTextCtrl*>(binding->Widget())->GetValue().utf8_string());
    }
    out += Field("start", ModelText(window, IDC_BTN_START));
    if (CWnd* check = dialog.GetDlgItem(IDC_CHK_DEBUG)) {
        out += Field("debug", std::to_string(check->SendMessage(BM_GETCHECK)));
    }
    if (MainWindowAids* aids = window.Aids()) {
        const VerdictShown& verdict = aids->Verdict();
        out += Field("verdict", verdict.word);
        out += Field("verdictDetail", verdict.detail);
        out += Field("verdictShown", aids->Label().WordPanel()->IsShown() ? "1" : "0");
        out += Field("verdictWord", FromWx(aids->Label().WordLabel()));
        out += Field("verdictLine", FromWx(aids->Label().Detail()->GetLabel()));
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

std::string Screenshot(WxDialogWindow& window, const std::string& path) {
    if (!CaptureClientArea(&window, path)) {
        return "error cannot capture the window";
    }
    const wxSize size = window.GetClientSize();
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

std::string Menu(WxDialogWindow& window) {
    CMenu* menu = window.Dialog().GetSystemMenu(0);
    if (menu == nullptr) {
        return "ok";
    }
    std::string out;
    for (const MenuItem& item : menu->Items()) {
        out += (out.empty() ? "" : "|") +
               ((item.flags & MF_SEPARATOR) != 0 ? std::string("-") : item.text);
    }
    return "ok " + EscapeForAnswer(out);
}

std::string Run(const Command& c, WxDialogWindow& window) {
    std::istringstream args(c.rest);
    if (c.verb == "click") {
        int id = 0;
        args >> id;
        auto* button = BindingOf<ButtonBinding>(window, id);
        if (button == nullptr) {
            return "error no button " + std::to_string(id);
        }
        button->Click();
        return "ok";
    }
    if (c.verb == "choose") {
        int id = 0;
        int index = -1;
        args >> id >> index;
        auto* combo = BindingOf<ComboBinding>(window, id);
        if (combo == nullptr) {
            return "error no combo box " + std::to_string(id);
        }
        combo->Choose(index);
        return "ok";
    }
    if (c.verb == "key") {
        int key = 0;
        args >> key;
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key == 27 ? WXK_ESCAPE : key == 13 ? WXK_RETURN : key;
        event.SetEventObject(&window);
        window.GetEventHandler()->ProcessEvent(event);
        return "ok";
    }
    if (c.verb == "close") {
        window.Close();
        return "ok";
    }
    if (c.verb == "sysmenu") {
        unsigned id = 0;
        args >> id;
        window.ChooseMenuCommand(id);
        return "ok";
    }
    if (c.verb == "menu") {
        return Menu(window);
    }
    if (c.verb == "state") {
        return "ok " + State(window);
    }
    if (c.verb == "log") {
        auto* log = BindingOf<LogView>(window, IDC_LOG);
        if (log == nullptr) {
            return "error no log";
        }
        log->Flush();
        return "ok " + EscapeForAnswer(FromWx(static_cast<wxTextCtrl*>(log->Widget())->GetValue()));
    }
    if (c.verb == "logshown") {
        // The log as it shows, in UTF-8 whatever the code set.
        auto* log = BindingOf<LogView>(window, IDC_LOG);
        if (log == nullptr) {
            return "error no log";
        }
        log->Flush();
        return "ok " +
               EscapeForAnswer(static_cast<wxTextCtrl*>(log->Widget())->GetValue().utf8_string());
    }
    if (c.verb == "focus") {
        int id = 0;
        args >> id;
        WidgetBinding* binding = window.Binding(id);
        if (binding == nullptr) {
            return "error no control " + std::to_string(id);
        }
        binding->Widget()->SetFocus();
        return "ok";
    }
    if (c.verb == "places") {
        return "ok " + Places(window);
    }
    if (c.verb == "resize") {
        int width = 0, height = 0;
        args >> width >> height;
        window.SetClientSize(width, height);
        return "ok";
    }
    if (c.verb == "move") {
        int x = 0, y = 0;
        args >> x >> y;
        window.Move(x, y);
        return "ok";
    }
    if (c.verb == "drop") {
        MainWindowAids* aids = window.Aids();
        if (aids == nullptr) {
            return "error no main window";
        }
        // The toolkit hands over names as its own strings; the command's are UTF-8.
        wxArrayString files;
        files.Add(wxString::FromUTF8(c.rest));
        return aids->DropFiles(files) ? "ok taken" : "ok refused";
    }
    if (c.verb == "ctrlkey") {
        // A Ctrl+letter press as the window's key hook sees it.
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = c.rest.empty() ? 0 : c.rest[0];
        event.m_controlDown = true;
        event.SetEventObject(&window);
        window.GetEventHandler()->ProcessEvent(event);
        return "ok";
    }
    if (c.verb == "logmenu") {
        auto* log = BindingOf<LogView>(window, IDC_LOG);
        if (log == nullptr) {
            return "error no log";
        }
        std::string out;
        for (const std::string& item : log->MenuItems()) {
            out += (out.empty() ? "" : "|") + item;
        }
        return "ok " + EscapeForAnswer(out);
    }
    if (c.verb == "logfont") {
        auto* log = BindingOf<LogView>(window, IDC_LOG);
        if (log == nullptr) {
            return "error no log";
        }
        const wxFont font = log->Widget()->GetFont();
        return "ok " + std::string(font.IsFixedWidth() ? "fixed " : "proportional ") +
               EscapeForAnswer(FromWx(font.GetFaceName()));
    }
    if (c.verb == "screenshot") {
        return Screenshot(window, c.rest);
    }
    return "error unknown verb " + c.verb;
}

}  // namespace

std::string RunControlCommand(const std::string& line) {
    const Command command = Parse(line);
    if (command.verb == "file") {
        TestableHost* host = TestableHost::Current();
        if (host == nullptr) {
            return command.tag + " error no host";
        }
        host->QueueFileDialogAnswer(command.rest);
        return command.tag + " ok";
    }
    if (command.verb == "msgbox") {
        // The open message box: its text, its client size and the width its title needs; or,
        // with "ok", its OK button pressed.
        WxHost* host = WxHost::Current();
        MessageWindow* box = host != nullptr ? host->OpenMessageBox() : nullptr;
        if (box == nullptr) {
            return command.tag + " error no message box";
        }
        if (command.rest == "ok") {
            box->EndModal(wxID_OK);
            return command.tag + " ok";
        }
        const wxSize size = box->GetClientSize();
        return command.tag + " ok " + std::to_string(size.GetWidth()) + " " +
               std::to_string(size.GetHeight()) + " " + std::to_string(box->TitleWidth()) + " " +
               EscapeForAnswer(FromWx(box->GetTitle())) + " " + EscapeForAnswer(box->Text());
    }
    WxDialogWindow* window = Innermost();
    if (window == nullptr) {
        return command.tag + " error no dialog";
    }
    return command.tag + " " + Run(command, *window);
}
