#include "slot/BoxCaptureDir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "capture/CaptureReader.h"
#include "download/SessionEventCodec.h"
#include "platform/base/UniqueFd.h"
#include "platform/codepage/ShownText.h"
#include "platform/digest/Sha256.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "record/BoxRecordCodec.h"
#include "slot/BoxLogDir.h"

namespace {

void SayCaptureTrouble(const std::string& line) {
    WriteStderr(ApplicationName() + ": " + EscapeName(line) + "\n");
}

}  // namespace

Result<std::unique_ptr<BoxCaptureDir>> BoxCaptureDir::Open(const std::string& dir,
                                                           const std::string& slot,
                                                           std::int64_t maxBytes,
                                                           std::string tool) {
    // As for --log-dir: a folder that is not there yet is made, and kept by its whole path.
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    std::unique_ptr<BoxCaptureDir> captures(
        new BoxCaptureDir(BoxLogDir::WholeDir(dir), slot, maxBytes, std::move(tool)));
    // Known before any box is served: the folder takes a file.
    const std::string& probe = captures->m_partial;
    if (!UniqueFd(open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644))) {
        return ErrnoFailure("open", probe, errno);
    }
    std::remove(probe.c_str());
    return captures;
}

BoxCaptureDir::BoxCaptureDir(std::string dir, std::string slot, std::int64_t maxBytes,
                             std::string tool)
    : m_dir(std::move(dir)),
      m_slot(std::move(slot)),
      m_safeSlot(BoxLogDir::SafeName(m_slot)),
      m_max(maxBytes),
      m_tool(std::move(tool)),
      m_partial(PartialPath(m_dir, m_slot, getpid())) {}

std::string BoxCaptureDir::PartialPath(const std::string& dir, const std::string& slot, long pid) {
    return dir + "/." + BoxLogDir::SafeName(slot) + "." + std::to_string(pid) + ".partial.cap";
}

BoxCaptureDir::~BoxCaptureDir() {
    Discard();
}

void BoxCaptureDir::Discard() {
    if (m_writer) {
        m_writer.reset();
        std::remove(m_partial.c_str());
    }
}

void BoxCaptureDir::OnStarted(const DownloadStarted& started) {
    Discard();
    const Json header{{"format", kCaptureFormatName},
                      {"version", kCaptureVersion},
                      {"tool", JsonText(m_tool)},
                      {"slot", JsonText(m_slot)},
                      {"start", IsoUtcMillis(started.when)},
                      {"max", m_max},
                      {"started", SessionEventJson(started)}};
    Result<std::unique_ptr<CaptureWriter>> writer =
        CaptureWriter::Create(m_partial, m_max, JsonLine(header));
    if (!writer) {
        // Said once: a folder gone for one box is gone for the next.
        if (!m_toldFailure) {
            SayCaptureTrouble("the box's capture cannot be kept: " + writer.Failure().Describe());
        }
        m_toldFailure = true;
        return;
    }
    m_writer = std::move(*writer);
}

void BoxCaptureDir::Event(const std::string& line) {
    if (m_writer) {
        m_writer->Append(CaptureKind::Event, line);
    }
}

void BoxCaptureDir::OnFirstFrame() {
    Event(JsonLine(SessionEventJson(FirstFrameSeen{})));
}

void BoxCaptureDir::OnTimeAsked() {
    Event(JsonLine(SessionEventJson(TimeAsked{})));
}

void BoxCaptureDir::OnBoxBytes(std::string_view bytes, std::chrono::steady_clock::time_point when) {
    if (m_writer) {
        m_writer->Append(CaptureKind::Box, bytes, when);
    }
}

void BoxCaptureDir::OnFrameSent(std::string_view frame) {
    if (m_writer) {
        m_writer->Append(CaptureKind::Frame, frame);
    }
}

void BoxCaptureDir::OnDataSent(std::uint32_t offset, std::uint16_t length, std::string_view sent) {
    if (!m_writer) {
        return;
    }
    CapturedData data;
    data.offset = offset;
    data.length = length;
    data.sent = static_cast<std::uint32_t>(sent.size());
    data.sha256 = Sha256OfBytes(sent.data(), sent.size());
    m_writer->Append(CaptureKind::Data, EncodeCapturedData(data));
}

void BoxCaptureDir::OnUnitServed(std::int64_t offset, std::int64_t length,
                                 const std::vector<std::pair<std::string, std::string>>& shown,
                                 const std::string& servedSha256) {
    Json fields = Json::object();
    for (const auto& [name, value] : shown) {
        fields[JsonText(name).get<std::string>()] = JsonText(value);
    }
    Event(JsonLine(Json{{"event", "unit"},
                        {"offset", offset},
                        {"length", length},
                        {"fields", std::move(fields)},
                        {"served_sha256", JsonText(servedSha256)}}));
}

void BoxCaptureDir::OnSlotState(SlotState state, const SysFailure& why) {
    Event(JsonLine(SessionEventJson(SlotStateChanged{state, why})));
}

void BoxCaptureDir::OnSessionEnded(const SessionEnd& end) {
    if (!m_writer) {
        return;
    }
    if (!end.record) {
        Discard();
        return;
    }
    Json closing = SessionEventJson(end.ended);
    closing["record"] = BoxRecordJson(*end.record);
    if (m_writer->Stopped()) {
        closing["capture_stopped"] = true;
    }
    const Result<void> written = m_writer->Finish(JsonLine(closing));
    m_writer.reset();
    m_lastFile.reset();
    if (!written && !CaptureReader::Open(m_partial)) {
        // Not even its header reached the disk: nothing support could read, so no file.
        std::remove(m_partial.c_str());
        SayCaptureTrouble("the box's capture could not be written: " +
                          written.Failure().Describe());
        return;
    }
    const std::string stem = m_dir + "/" + BoxLogDir::FileStem(m_safeSlot, *end.record);
    const std::string suffix = written ? ".cap" : ".incomplete.cap";
    std::string target = stem + suffix;
    for (int n = 2; access(target.c_str(), F_OK) == 0; ++n) {
        target = stem + "-" + std::to_string(n) + suffix;
    }
    if (std::rename(m_partial.c_str(), target.c_str()) == 0) {
        m_lastFile = target;
    }
    if (!written) {
        SayCaptureTrouble("the box's capture could not be written whole: " +
                          written.Failure().Describe());
    }
}
