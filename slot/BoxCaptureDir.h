#pragma once

// `--capture DIR`: each box's session kept in a file of its own for support (the format is in
// capture/CaptureFormat.h and docs/capture.md), named like the box's log file with ".cap":
// "A1_20261207T023107.120Z_PASS.cap". A file begins at START with a header (the tool, the slot,
// the image) and holds, each with its time, the box's bytes, the tool's answers (a data answer
// as its offset, length and SHA-256), and the session's events as a station's slot tells them;
// it ends with the "ended" event that carries the box's record. It is written as it goes under a
// hidden name, ".A1.<pid>.partial.cap", and renamed at the verdict, so a file named with a
// verdict is complete; a capture that could not be written whole (a full disk) keeps the box's
// verdict in its name and ends ".incomplete.cap" ("A1_..._PASS.incomplete.cap"), as a log file
// does, or is removed when not even its header reached the disk. A START that ends without a
// box (a port that went away while the slot waited) leaves no file.
//
// Threading rules: UI thread only (the download's observer and the session's sink).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/CaptureWriter.h"
#include "download/BoxSession.h"

class BoxCaptureDir final : public DownloadObserver, public BoxSession::Sink {
  public:
    // Fails when the folder cannot take a file. `tool` names the program and its version.
    static Result<std::unique_ptr<BoxCaptureDir>> Open(const std::string& dir,
                                                       const std::string& slot,
                                                       std::int64_t maxBytes, std::string tool);
    ~BoxCaptureDir() override;

    void OnStarted(const DownloadStarted& started) override;
    void OnFirstFrame() override;
    void OnTimeAsked() override;
    void OnBoxBytes(std::string_view bytes, std::chrono::steady_clock::time_point when) override;
    void OnFrameSent(std::string_view frame) override;
    void OnDataSent(std::uint32_t offset, std::uint16_t length, std::string_view sent) override;
    void OnSlotState(SlotState state, const SysFailure& why) override;
    void OnSessionEnded(const SessionEnd& end) override;
    // A job with a [unit]: the box is served its own region; named in the capture (an event
    // "unit": the region, each field's value, a secret one's only as its SHA-256, and the
    // image's SHA-256 as served).
    void OnUnitServed(std::int64_t offset, std::int64_t length,
                      const std::vector<std::pair<std::string, std::string>>& shown,
                      const std::string& servedSha256);

    // The hidden file that slot `slot`'s process `pid` writes its box in hand's capture to, in
    // the whole folder `dir` (BoxLogDir::WholeDir): "/srv/line/caps/.A1.4711.partial.cap".
    static std::string PartialPath(const std::string& dir, const std::string& slot, long pid);

    // The last box's capture, as it was named at its verdict.
    const std::optional<std::string>& LastFile() const { return m_lastFile; }

  private:
    BoxCaptureDir(std::string dir, std::string slot, std::int64_t maxBytes, std::string tool);
    void Event(const std::string& line);
    // The capture under way, without a verdict: removed.
    void Discard();

    std::string m_dir;
    std::string m_slot;
    std::string m_safeSlot;
    std::int64_t m_max;
    std::string m_tool;
    std::string m_partial;
    std::unique_ptr<CaptureWriter> m_writer;
    bool m_toldFailure = false;
    std::optional<std::string> m_lastFile;
};
