#include "tests/support/testhost/TestHost.h"

#include <algorithm>

#include "platform/gdi/GdiTypes.h"

TestHost::TestHost() {
    MessageQueue::Ui().Clear();
    SetHost(this);
}

TestHost::~TestHost() {
    SetHost(nullptr);
    MessageQueue::Ui().Clear();
}

int TestHost::MessageBox(const std::string& text, const std::string& caption, UINT type) {
    m_messageBoxes.push_back(RecordedMessageBox{text, caption, type});
    return m_messageBoxAnswer;
}

void TestHost::Beep(DWORD frequencyHz, DWORD durationMs) {
    m_beeps.push_back(RecordedBeep{frequencyHz, durationMs});
}

std::optional<std::string> TestHost::OpenFileDialog(const FileDialogRequest& request) {
    m_fileRequests.push_back(request);
    if (m_fileAnswers.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> answer = m_fileAnswers.front();
    m_fileAnswers.erase(m_fileAnswers.begin());
    return answer;
}

void TestHost::QueueFileDialogAnswer(std::optional<std::string> path) {
    m_fileAnswers.push_back(std::move(path));
}

void TestHost::ClearRecords() {
    m_messageBoxes.clear();
    m_beeps.clear();
    m_fileRequests.clear();
}

void TestHost::SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) {
    m_timers.Set(hwnd, id, periodMs, m_now);
}

void TestHost::KillTimer(HWND hwnd, UINT_PTR id) {
    m_timers.Kill(hwnd, id);
}

void TestHost::Advance(std::chrono::milliseconds ms) {
    const TimerTable::Time end = m_now + ms;
    // Step from due time to due time so that a timer with a short period ticks once per period.
    while (true) {
        const std::optional<TimerTable::Time> next = m_timers.NextDue();
        if (!next || *next > end) {
            break;
        }
        m_now = std::max(m_now, *next);
        m_timers.FireDue(m_now);
    }
    m_now = end;
}

COLORREF TestHost::GetSysColor(int index) {
    if (auto it = m_sysColors.find(index); it != m_sysColors.end()) {
        return it->second;
    }
    return ClassicSysColor(index);
}

TestHost::PaintSurface& TestHost::SurfaceFor(CWnd& window) {
    PaintSurface& surface = m_surfaces[window.m_hWnd];
    RECT client;
    window.GetClientRect(&client);
    const int width = std::max<int>(client.right, 1);
    const int height = std::max<int>(client.bottom, 1);
    if (!surface.raster) {
        surface.raster = std::make_unique<RasterDevice>(width, height);
    } else if (surface.raster->Width() != width || surface.raster->Height() != height) {
        surface.raster->Resize(width, height);
    }
    return surface;
}

std::unique_ptr<DeviceContext> TestHost::BeginPaint(HWND hwnd) {
    CWnd* window = CWnd::FromHandle(hwnd);
    if (window == nullptr) {
        return nullptr;
    }
    PaintSurface& surface = SurfaceFor(*window);
    ++surface.paints;
    return surface.raster->SharingSurface();
}

RasterDevice& TestHost::Paint(CWnd& window) {
    window.RedrawWindow();
    return *SurfaceFor(window).raster;
}

RasterDevice* TestHost::Surface(HWND hwnd) {
    auto it = m_surfaces.find(hwnd);
    return it == m_surfaces.end() ? nullptr : it->second.raster.get();
}

int TestHost::PaintCount(HWND hwnd) const {
    auto it = m_surfaces.find(hwnd);
    return it == m_surfaces.end() ? 0 : it->second.paints;
}
