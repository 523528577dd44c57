#include "hosts/wx/MainWindowAids.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <wx/display.h>
#include <wx/dnd.h>

#include "app/MainDialog.h"
#include "app/Resources.h"
#include "hosts/wx/LogView.h"
#include "hosts/wx/WxDialogWindow.h"
#include "hosts/wx/WxFonts.h"
#include "hosts/wx/WxHost.h"
#include "platform/host/Host.h"

namespace {

constexpr const char* kSection = "Window";

// The verdict's word, beside the port list and its lamp, and its line below, in dialog units.
constexpr int kWordX = 92, kWordY = 22, kWordCx = 96, kWordCy = 24;
constexpr int kDetailX = 7, kDetailY = 47, kDetailCx = 284, kDetailCy = 11;

class ImageDropTarget : public wxFileDropTarget {
  public:
    explicit ImageDropTarget(MainWindowAids& aids) : m_aids(aids) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
        return m_aids.DropFiles(files);
    }

  private:
    MainWindowAids& m_aids;
};

wxRect ToRect(const WindowPlacement& p) {
    return wxRect(p.x, p.y, p.cx, p.cy);
}

}  // namespace

MainWindowAids::MainWindowAids(WxDialogWindow& window, CMainDialog& dialog)
    : m_window(window),
      m_dialog(dialog),
      m_label(&window),
      m_watch(dialog, [this](const VerdictShown& shown) { m_label.Show(shown); }) {
    // The download runs until the operator stops it; two minutes without a word is shown.
    dialog.SetSilenceBound(std::chrono::minutes(2), CDownloadControl::SilenceFrom::Start,
                           CDownloadControl::SilenceAction::Tell);
    const WindowPlacement whole = dialog.GetPlacement();
    m_templateSize = wxSize(whole.cx, whole.cy);
    for (HWND child : dialog.GetChildren()) {
        if (CWnd* control = CWnd::FromHandle(child)) {
            const WindowPlacement p = control->GetPlacement();
            m_template[child] = {
                p, AnchorOf(dialog.TemplateId(), control->GetDlgCtrlID(), p, whole.cx)};
        }
    }
    window.SetMinClientSize(m_templateSize);
    window.SetDropTarget(new ImageDropTarget(*this));
    window.Bind(wxEVT_SIZE, &MainWindowAids::OnSizeEvent, this);
    OnSize();
}

MainWindowAids::~MainWindowAids() {
    // The window outlives its aids by a little: nothing of it may reach them any more.
    m_window.wxEvtHandler::Unbind(wxEVT_SIZE, &MainWindowAids::OnSizeEvent, this);
    m_window.SetDropTarget(nullptr);
}

void MainWindowAids::OnSizeEvent(wxSizeEvent& event) {
    OnSize();
    event.Skip();
}

void MainWindowAids::OnSize() {
    const wxSize now = m_window.GetClientSize();
    const int extraX = std::max(0, now.GetWidth() - m_templateSize.GetWidth());
    const int extraY = std::max(0, now.GetHeight() - m_templateSize.GetHeight());
    for (const auto& [hwnd, place] : m_template) {
        if (CWnd* control = CWnd::FromHandle(hwnd)) {
            control->MoveWindow(Anchored(place.placement, place.anchor, extraX, extraY));
        }
    }
    const DialogBaseUnits units = WxHost::Current()->BaseUnits();
    const WindowPlacement word = MapDialogRect(kWordX, kWordY, kWordCx, kWordCy, units);
    const WindowPlacement detail = MapDialogRect(kDetailX, kDetailY, kDetailCx, kDetailCy, units);
    m_label.Place(ToRect(word), ToRect(Anchored(detail, {.growX = true}, extraX, extraY)));
}

void MainWindowAids::Restore() {
    if (m_restored) {
        return;
    }
    m_restored = true;
    CIniFile& ini = m_dialog.m_ini;
    const int width = ini.GetInt(kSection, "Width", 0);
    const int height = ini.GetInt(kSection, "Height", 0);
    if (width > 0 && height > 0) {
        m_window.SetClientSize(std::max(width, m_templateSize.GetWidth()),
                               std::max(height, m_templateSize.GetHeight()));
    }
    const int left = ini.GetInt(kSection, "Left", -32768);
    const int top = ini.GetInt(kSection, "Top", -32768);
    // A place on a screen that is no longer there would hide the window: centre it instead.
    if (left != -32768 && top != -32768 &&
        wxDisplay::GetFromPoint(wxPoint(left + 20, top + 20)) != wxNOT_FOUND) {
        m_window.Move(left, top);
    } else {
        m_window.CentreOnScreen();
    }
    if (ini.GetInt(kSection, "Maximized", 0) != 0) {
        m_window.Maximize();
    }
    OnSize();
}

void MainWindowAids::Remember() {
    if (!m_restored) {
        return;
    }
    CIniFile& ini = m_dialog.m_ini;
    const bool maximized = m_window.IsMaximized();
    ini.SetInt(kSection, "Maximized", maximized ? 1 : 0);
    if (!maximized) {
        // A maximised window keeps the size it had before, for when it is restored.
        const wxSize size = m_window.GetClientSize();
        const wxPoint where = m_window.GetPosition();
        ini.SetInt(kSection, "Left", where.x);
        ini.SetInt(kSection, "Top", where.y);
        ini.SetInt(kSection, "Width", size.GetWidth());
        ini.SetInt(kSection, "Height", size.GetHeight());
    }
}

bool MainWindowAids::DropFiles(const wxArrayString& files) {
    // One image at a time; while a download runs the image cannot change.
    if (files.size() != 1 || !m_dialog.m_btnBrowse.IsWindowEnabled()) {
        return false;
    }
    std::error_code error;
    if (std::filesystem::is_directory(FromWx(files[0]), error)) {
        return false;
    }
    return m_dialog.ChooseImage(FromWx(files[0]));
}

std::string MainWindowAids::LogFileName() const {
    const int port = static_cast<int>(m_dialog.m_comboPort.SendMessage(CB_GETCURSEL)) + 1;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return "Stavel_COM" + std::to_string(port) + "_" + stamp + ".log";
}

bool MainWindowAids::WriteLog(const std::string& path, std::string& error) const {
    auto* log = dynamic_cast<LogView*>(m_window.Binding(IDC_LOG));
    if (log == nullptr) {
        error = "no log";
        return false;
    }
    log->Flush();
    std::string text = log->ShownText();
    // The file ends with the box's verdict and its reason, which the log view itself never shows.
    const VerdictShown& shown = m_watch.Shown();
    if (shown.kind == VerdictShown::Kind::Pass || shown.kind == VerdictShown::Kind::Fail ||
        shown.kind == VerdictShown::Kind::Aborted) {
        const char* end = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        if (!text.empty() && text.back() != '\n') {
            text += end;
        }
        text += ApplicationName() + ": " + shown.detail + end;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeErr = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = std::strerror(written ? errno : writeErr);
        return false;
    }
    return true;
}

void MainWindowAids::SaveLog() {
    WxHost* host = WxHost::Current();
    if (host == nullptr) {
        return;
    }
    const std::optional<std::string> path = host->SaveFileDialog(LogFileName());
    if (!path) {
        return;
    }
    std::string error;
    if (!WriteLog(*path, error)) {
        host->MessageBox("Cannot save the log\n" + *path + ": " + error,
                         FromWx(m_window.GetTitle()), 0x30);
    }
}
