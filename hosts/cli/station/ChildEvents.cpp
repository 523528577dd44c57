#include "hosts/cli/station/ChildEvents.h"

#include <cstdio>

#include "platform/host/ConsoleOutput.h"
#include "platform/window/Wnd.h"

namespace {

// Often enough for a station that shows figures once a second; rarely enough that sixteen slots
// cost the station next to nothing.
constexpr std::chrono::milliseconds kProgressEvery{500};

}  // namespace

const char* ChildEvents::EndName(BoxEnd end) {
    switch (end) {
        case BoxEnd::Passed:
            return "passed";
        case BoxEnd::PortNotOpened:
            return "port-not-opened";
        case BoxEnd::PortLost:
            return "port-lost";
        case BoxEnd::BoxStalled:
            return "box-stalled";
        case BoxEnd::ImageChanged:
            return "image-changed";
        case BoxEnd::BoxSilent:
            return "box-silent";
        case BoxEnd::OperatorStop:
            return "operator-stop";
    }
    return "failed";
}

void ChildEvents::Send(const std::string& line) {
    ConsoleOutput::Process().Write(m_fd, line);
}

void ChildEvents::OnArmed() {
    m_rate.Restart();
    m_lastSent = {};
    Send("{\"event\":\"armed\"}\n");
}

void ChildEvents::OnRecord(BoxEnd end, const std::string& recordLine) {
    std::string record = recordLine;
    while (!record.empty() && record.back() == '\n') {
        record.pop_back();
    }
    Send(std::string("{\"event\":\"record\",\"end\":\"") + EndName(end) +
         "\",\"record\":" + record + "}\n");
}

void ChildEvents::OnTextChanged(CWnd& bar) {
    long long done = 0;
    long long size = 0;
    if (std::sscanf(bar.GetWindowText().c_str(), "( %lld / %lld ) Bytes", &done, &size) != 2) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    m_rate.OnRequest(size > 0 && done > size ? size : done, now);
    const bool first = m_lastSent == std::chrono::steady_clock::time_point{};
    if (!first && now - m_lastSent < kProgressEvery && done < size) {
        return;
    }
    m_lastSent = now;
    char line[160];
    std::snprintf(line, sizeof line,
                  "{\"event\":\"progress\",\"bytes\":%lld,\"size\":%lld,\"rate\":%.0f}\n", done,
                  size, m_rate.BytesPerSecond());
    Send(line);
}
