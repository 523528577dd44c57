#pragma once

// `--log-dir DIR`: one log file per box, named from the slot (made safe for a file name), the
// box's UTC start and its verdict: "serial_by-path_pci-0000_00_14.0-usb-0_2_1.0-port0_
// 20261207T023107.120Z_PASS.log". A box's file holds the log view's lines from the previous
// box's verdict to its own (START, the wait, the box's whole download), with UTC stamps when
// asked. It is written under a hidden name and renamed at the verdict, so a file with a
// verdict in its name is complete.
//
// Threading rules: UI thread only (the log view's observer and the session's callbacks).

#include <memory>
#include <optional>
#include <string>

#include "platform/window/WindowObserver.h"
#include "record/BoxRecord.h"
#include "slot/LogFile.h"

class BoxLogDir final : public WindowObserver {
  public:
    // Fails when the folder cannot take a file.
    static Result<std::unique_ptr<BoxLogDir>> Open(const std::string& dir, const std::string& slot,
                                                   LogFile::Stamps stamps);
    ~BoxLogDir() override;

    // The box is judged: its file ends with `verdictLine` and gets its name. Fails with why the
    // box's log could not be kept whole (a full disk, a folder gone); its file is then named
    // "...incomplete.log", or removed when it holds nothing.
    Result<void> Finish(const BoxRecord& record, const std::string& verdictLine);

    void OnTextInserted(CWnd& wnd, std::size_t position, std::size_t replaced,
                        std::string_view text) override;

    // The last box's file, as it was named at its verdict; nothing when it was removed.
    const std::optional<std::string>& LastFile() const { return m_lastFile; }

    // The slot as a file name's part: bytes outside [A-Za-z0-9._-] become '_'.
    static std::string SafeName(const std::string& slot);
    // A box's file name before its extension: the safe slot, the box's UTC start and its
    // verdict ("A1_20261207T023107.120Z_PASS"). A box's capture is named alike.
    static std::string FileStem(const std::string& safeSlot, const BoxRecord& record);
    // A folder as records name it: whole, without a trailing slash ("logs" -> "/srv/line/logs").
    static std::string WholeDir(const std::string& dir);
    // The hidden file that slot `slot`'s process `pid` writes its box in hand's log to, in the
    // whole folder `dir`: "/srv/line/logs/.A1.4711.partial.log".
    static std::string PartialPath(const std::string& dir, const std::string& slot, long pid);

  private:
    BoxLogDir(std::string dir, std::string slot, LogFile::Stamps stamps);
    Result<void> OpenFile();
    void CloseFile();

    std::string m_dir;
    std::string m_safeSlot;
    LogFile::Stamps m_stamps;
    std::string m_partial;
    std::unique_ptr<LogFile> m_file;
    std::optional<std::string> m_finalName;  // the box is judged: its file's name
    std::optional<SysFailure> m_lost;        // why this box's log is not whole
    std::optional<std::string> m_lastFile;
};
