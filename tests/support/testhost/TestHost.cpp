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
    return IDOK;
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
    return ClassicSysColor(index);
}

std::unique_ptr<DeviceContext> TestHost::BeginPaint(HWND hwnd) {
    CWnd* window = CWnd::FromHandle(hwnd);
    if (window == nullptr) {
        return nullptr;
    }
    // A surface of the window's client size (at least 1 x 1), kept across paints.
    std::unique_ptr<RasterDevice>& raster = m_surfaces[hwnd];
    RECT client;
    window->GetClientRect(&client);
    const int width = std::max<int>(client.right, 1);
    const int height = std::max<int>(client.bottom, 1);
    if (!raster || raster->Width() != width || raster->Height() != height) {
        raster = std::make_unique<RasterDevice>(width, height);
    }
    return raster->SharingSurface();
}

RasterDevice* TestHost::Surface(HWND hwnd) {
    auto it = m_surfaces.find(hwnd);
    return it == m_surfaces.end() ? nullptr : it->second.get();
}
