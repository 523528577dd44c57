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
#include "hosts/wx/WidgetBinding.h"
#include "hosts/wx/WxDialogWindow.h"
#include "hosts/wx/WxFonts.h"
#include "hosts/wx/WxHost.h"
#include "platform/codepage/CodeSet.h"
#include "platform/host/Host.h"

namespace {

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
    const DialogBaseUnits units = WxHost::Current()->BaseUnits();
    const Growth growth =
        ShareOut(now.GetWidth() - m_templateSize.GetWidth(),
                 now.GetHeight() - m_templateSize.GetHeight(), PortListNeed(), units);
    for (const auto& [hwnd, place] : m_template) {
        if (CWnd* control = CWnd::FromHandle(hwnd)) {
            control->MoveWindow(Anchored(place.placement, place.anchor, growth));
        }
    }
    const WidgetBinding* port = m_window.Binding(IDC_COMBO_PORT);
    const int rowBottom = port != nullptr ? port->Widget()->GetRect().GetBottom() + 1 : 0;
    const VerdictPlaces verdict = PlaceVerdict(growth, rowBottom, units);
    m_label.Place(ToRect(verdict.word), ToRect(verdict.line));
}

int MainWindowAids::PortListNeed() const {
    const WidgetBinding* binding = m_window.Binding(IDC_COMBO_PORT);
    CWnd* model = m_dialog.GetDlgItem(IDC_COMBO_PORT);
    const auto it = model != nullptr ? m_template.find(model->m_hWnd) : m_template.end();
    if (binding == nullptr || it == m_template.end()) {
        return 0;
    }
    return binding->Widget()->GetBestSize().GetWidth() - it->second.placement.cx;
}

void MainWindowAids::Restore() {
    if (m_restored) {
        return;
    }
    m_restored = true;
    m_placeFile = WindowFilePath(m_dialog.m_ini.m_strFileName);
    m_place =
        ChooseWindowPlace(ReadWindowFile(m_placeFile), m_dialog.m_ini.Entries(), ActiveCodeSet());
    if (m_place.width > 0 && m_place.height > 0) {
        m_window.SetClientSize(std::max(m_place.width, m_templateSize.GetWidth()),
                               std::max(m_place.height, m_templateSize.GetHeight()));
    }
    // A place on a screen that is no longer there would hide the window: centre it instead.
    if (m_place.placed &&
        wxDisplay::GetFromPoint(wxPoint(m_place.left + 20, m_place.top + 20)) != wxNOT_FOUND) {
        m_window.Move(m_place.left, m_place.top);
    } else {
        m_window.CentreOnScreen();
    }
    if (m_place.maximized) {
        m_window.Maximize();
    }
    OnSize();
}

void MainWindowAids::Remember() {
    if (!m_restored) {
        return;
    }
    m_place.maximized = m_window.IsMaximized();
    if (!m_place.maximized) {
        // A maximised window keeps the place it had before, for when it is restored.
        const wxSize size = m_window.GetClientSize();
        const wxPoint where = m_window.GetPosition();
        m_place = WindowPlace{.placed = true,
                              .left = where.x,
                              .top = where.y,
                              .width = size.GetWidth(),
                              .height = size.GetHeight(),
                              .maximized = false};
    }
    const SysResult written = WriteWindowFile(m_placeFile, m_place, ActiveCodeSet());
    if (!written.Ok()) {
        // The program is ending: no window is left to tell it in.
        std::fprintf(stderr, "%s: the window's place is not kept: %s\n", ApplicationName().c_str(),
                     SysFailure(written, m_placeFile).Describe().c_str());
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
