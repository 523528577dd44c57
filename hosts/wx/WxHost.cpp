#include "hosts/wx/WxHost.h"

#include <filesystem>

#include <wx/filedlg.h>
#include <wx/settings.h>

#include "hosts/wx/DialogFont.h"
#include "hosts/wx/FileFilter.h"
#include "hosts/wx/MessageWindow.h"
#include "hosts/wx/ToneBeep.h"
#include "hosts/wx/UiCalls.h"
#include "hosts/wx/WxDialogWindow.h"
#include "hosts/wx/WxFonts.h"
#include "platform/host/MessageQueue.h"
#include "platform/window/Dialog.h"

namespace {

WxHost* g_current = nullptr;

}  // namespace

WxHost::WxHost() {
    const wxFont font = TemplateDialogFont();
    m_units = BaseUnitsFor(font);
    const LOGFONT logFont = LogFontFromFont(font);
    m_dialogFont.CreateFontIndirect(&logFont);
    g_current = this;
    MarkUiThread();
    SetHost(this);
    OpenUiCalls();
    MessageQueue::Ui().SetNotifier([this] {
        // One wake-up per loop turn is enough: the drain takes everything waiting.
        if (!m_drainScheduled.exchange(true)) {
            CallOnUiThread([this] { DrainUiQueue(); });
        }
    });
}

WxHost::~WxHost() {
    MessageQueue::Ui().SetNotifier(nullptr);
    CloseUiCalls();
    m_timers.KillAll();
    SetHost(nullptr);
    g_current = nullptr;
}

WxHost* WxHost::Current() {
    return g_current;
}

void WxHost::AfterInput() {
    if (g_current != nullptr) {
        g_current->EndFinishedDialog();
    }
}

wxWindow* WxHost::InnermostWxWindow() const {
    return m_running.empty() ? nullptr : m_running.back();
}

void WxHost::DrainUiQueue() {
    m_drainScheduled = false;
    MessageQueue& queue = MessageQueue::Ui();
    while (auto item = queue.TryTake()) {
        if (!m_running.empty()) {
            m_running.back()->Dialog().RouteItem(*item);
        } else if (auto* task = std::get_if<MessageQueue::Task>(&*item)) {
            (*task)();
        } else {
            DispatchMessage(std::get<MSG>(*item));
        }
        EndFinishedDialog();
    }
}

void WxHost::EndFinishedDialog() {
    if (m_running.empty()) {
        return;
    }
    WxDialogWindow* window = m_running.back();
    if (window->Dialog().HasEnded() && window->IsModal()) {
        window->EndModal(window->Dialog().EndCode());
    }
}

int WxHost::RunModal(CDialog& dialog) {
    if (!dialog.Create(m_units)) {
        return -1;
    }
    dialog.SetFont(&m_dialogFont, 0);
    auto window = std::make_unique<WxDialogWindow>(InnermostWxWindow(), dialog);
    m_running.push_back(window.get());
    dialog.Initialize();
    window->SyncFromModel();
    if (!dialog.HasEnded()) {
        window->ShowModal();
    }
    m_running.pop_back();
    window->Unbind();
    window.reset();
    // An outer dialog may have ended while this one ran.
    EndFinishedDialog();
    return dialog.EndCode();
}

int WxHost::MessageBox(const std::string& text, const std::string& caption, UINT type) {
    MessageWindow box(InnermostWxWindow(), text, caption, type);
    m_messageBoxes.push_back(&box);
    box.ShowModal();
    m_messageBoxes.pop_back();
    return IDOK;
}

void WxHost::Beep(DWORD frequencyHz, DWORD durationMs) {
    PlayTone(frequencyHz, durationMs);
}

std::optional<std::string> WxHost::OpenFileDialog(const FileDialogRequest& request) {
    wxFileDialog dialog(InnermostWxWindow(), "Open", wxEmptyString, ToWx(request.fileName),
                        ToWx(WildcardFromFilter(request.filter)), wxFD_OPEN);
    if (ShowFileDialog(dialog) != wxID_OK) {
        return std::nullopt;
    }
    const std::string chosen = FromWx(dialog.GetPath());
    if (chosen.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    return ApplyDefaultExtension(chosen, request.defaultExt,
                                 std::filesystem::exists(chosen, error));
}

std::optional<std::string> WxHost::SaveFileDialog(const std::string& defaultName) {
    wxFileDialog dialog(InnermostWxWindow(), "Save Log As", wxEmptyString, ToWx(defaultName),
                        "Log files (*.log)|*.log|All files (*)|*",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (ShowFileDialog(dialog) != wxID_OK) {
        return std::nullopt;
    }
    const std::string chosen = FromWx(dialog.GetPath());
    return chosen.empty() ? std::nullopt : std::optional<std::string>(chosen);
}

int WxHost::ShowFileDialog(wxFileDialog& dialog) {
    return dialog.ShowModal();
}

void WxHost::SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) {
    m_timers.Set(hwnd, id, periodMs);
}

void WxHost::KillTimer(HWND hwnd, UINT_PTR id) {
    m_timers.Kill(hwnd, id);
}

void WxHost::RegisterPainter(HWND hwnd, WxPainter* painter) {
    m_painters[hwnd] = painter;
}

void WxHost::UnregisterPainter(HWND hwnd) {
    m_painters.erase(hwnd);
}

std::unique_ptr<DeviceContext> WxHost::BeginPaint(HWND hwnd) {
    // Only a widget that paints its model has a surface to give.
    auto it = m_painters.find(hwnd);
    return it == m_painters.end() ? nullptr : it->second->BeginPaint();
}

COLORREF WxHost::GetSysColor(int index) {
    // The COLOR_* indices and wxSystemColour share the Windows numbering.
    if (index < 0 || index >= wxSYS_COLOUR_MAX) {
        return RGB(0, 0, 0);
    }
    return FromWxColour(wxSystemSettings::GetColour(static_cast<wxSystemColour>(index)));
}
