#include "hosts/cli/station/StationView.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "download/BoxRecordJson.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"

namespace {

bool TerminalTakesEscapes() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

std::string Now() {
    return IsoUtcMillis(std::chrono::system_clock::now());
}

}  // namespace

std::string ShownRate(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond <= 0) {
        return "-";
    }
    if (bytesPerSecond >= 1000) {
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    }
    return text;
}

std::string ShownEta(double seconds) {
    if (seconds < 0) {
        return "-";
    }
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

StationView::StationView(bool json) : m_json(json), m_live(TerminalTakesEscapes()) {}

void StationView::Above(const std::string& text) {
    if (m_live && m_drawnLines > 0) {
        // Up to the table's first line and clear from there; the table is drawn again next.
        WriteStderr("\r\x1b[" + std::to_string(m_drawnLines) + "A\x1b[J" + text);
        m_drawnLines = 0;
        return;
    }
    WriteStderr(text);
}

void StationView::BoxStarted(const std::string& slot) {
    if (!m_live) {
        WriteStderr("stavel: " + EscapeName(slot) + ": box started\n");
    }
    if (m_json) {
        WriteStdout("{\"event\":\"started\",\"time\":\"" + Now() +
                    "\",\"slot\":" + JsonString(slot) + "}\n");
    }
}

void StationView::Progress(const SlotFigures& status, long long bytes, long long size) {
    if (!m_json) {
        return;
    }
    char figures[200];
    std::snprintf(figures, sizeof figures,
                  ",\"percent\":%d,\"bytes\":%lld,\"size\":%lld,\"rate\":%.0f,\"eta\":%s}\n",
                  status.percent, bytes, size, status.rate,
                  status.etaSeconds < 0
                      ? "null"
                      : std::to_string(static_cast<long>(status.etaSeconds + 0.5)).c_str());
    WriteStdout("{\"event\":\"progress\",\"time\":\"" + Now() +
                "\",\"slot\":" + JsonString(status.slot) + figures);
}

void StationView::BoxEnded(const std::string& slot, bool pass, const std::string& reason,
                           double seconds, const std::string& recordText) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    Above("stavel: " + EscapeName(slot) + ": " +
          (pass ? "PASS in " + std::string(time) : "FAIL " + EscapeName(reason)) + "\n");
    if (m_json) {
        WriteStdout(std::string("{\"event\":\"") + (pass ? "passed" : "failed") + "\",\"time\":\"" +
                    Now() + "\",\"slot\":" + JsonString(slot) + ",\"record\":" + recordText +
                    "}\n");
    }
}

void StationView::Message(const std::string& text) {
    Above("stavel: " + text + "\n");
}

void StationView::Table(const std::vector<SlotFigures>& slots) {
    if (!m_live) {
        return;
    }
    std::string text =
        m_drawnLines > 0 ? "\r\x1b[" + std::to_string(m_drawnLines) + "A" : std::string();
    char line[512];
    std::snprintf(line, sizeof line, "%-32s %-10s %4s %11s %6s %6s %6s\x1b[K\n", "SLOT", "STATE",
                  "%", "RATE", "ETA", "PASS", "FAIL");
    text += line;
    for (const SlotFigures& s : slots) {
        std::string name = EscapeName(s.slot);
        if (name.size() > 32) {
            name = "…" + name.substr(name.size() - 31);
        }
        std::snprintf(line, sizeof line, "%-32s %-10s %3d%% %11s %6s %6d %6d\x1b[K\n", name.c_str(),
                      s.state.c_str(), s.percent, ShownRate(s.rate).c_str(),
                      ShownEta(s.etaSeconds).c_str(), s.passes, s.fails);
        text += line;
    }
    WriteStderr(text);
    m_drawnLines = slots.size() + 1;
}

void StationView::EndTable() {
    m_drawnLines = 0;
}
