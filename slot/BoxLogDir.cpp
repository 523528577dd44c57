#include "slot/BoxLogDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "record/BoxRecordCodec.h"

namespace {

// "20261207T023107.120Z": sorts by time, and holds no ':' (a file name on every system).
std::string FileStamp(std::chrono::system_clock::time_point when) {
    std::string iso = IsoUtcMillis(when);
    std::string out;
    for (const char c : iso) {
        if (c != '-' && c != ':') {
            out += c;
        }
    }
    return out;
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

}  // namespace

std::string BoxLogDir::SafeName(const std::string& slot) {
    std::string name = slot.starts_with("/dev/") ? slot.substr(5) : slot;
    for (char& c : name) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        c = keep ? c : '_';
    }
    // Neither hidden nor ".." nor longer than a file name may be.
    while (!name.empty() && name.front() == '.') {
        name.front() = '_';
    }
    if (name.size() > 150) {
        name.resize(150);
    }
    return name.empty() ? "slot" : name;
}

std::string BoxLogDir::FileStem(const std::string& safeSlot, const BoxRecord& record) {
    return safeSlot + "_" + FileStamp(record.start) +
           (record.Passed()                       ? "_PASS"
            : record.result == BoxResult::Aborted ? "_ABORTED"
                                                  : "_FAIL");
}

std::string BoxLogDir::WholeDir(const std::string& dir) {
    // Records name a box's file by its whole path, for whoever reads them from elsewhere.
    std::error_code ignored;
    std::string whole = std::filesystem::absolute(dir, ignored).lexically_normal().string();
    while (whole.size() > 1 && whole.back() == '/') {
        whole.pop_back();
    }
    return whole.empty() ? dir : whole;
}

std::string BoxLogDir::PartialPath(const std::string& dir, const std::string& slot, long pid) {
    return dir + "/." + SafeName(slot) + "." + std::to_string(pid) + ".partial.log";
}

BoxLogDir::BoxLogDir(std::string dir, std::string slot, LogFile::Stamps stamps)
    : m_dir(std::move(dir)),
      m_safeSlot(SafeName(slot)),
      m_stamps(stamps),
      m_partial(PartialPath(m_dir, slot, getpid())) {}

Result<std::unique_ptr<BoxLogDir>> BoxLogDir::Open(const std::string& dir, const std::string& slot,
                                                   LogFile::Stamps stamps) {
    // A folder that is not there yet is made, as an operator naming it would expect.
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    std::unique_ptr<BoxLogDir> logs(new BoxLogDir(WholeDir(dir), slot, stamps));
    if (Result<void> opened = logs->OpenFile(); !opened) {
        return opened.Failure();
    }
    return logs;
}

BoxLogDir::~BoxLogDir() {
    CloseFile();
}

Result<void> BoxLogDir::OpenFile() {
    std::remove(m_partial.c_str());
    Result<std::unique_ptr<LogFile>> file = LogFile::Open(m_partial, m_stamps);
    if (!file) {
        return file.Failure();
    }
    m_file = std::move(*file);
    return {};
}

// A box without a verdict (the station stopped while it waited) leaves no file.
void BoxLogDir::CloseFile() {
    if (!m_file) {
        return;
    }
    m_file.reset();
    if (!m_finalName) {
        std::remove(m_partial.c_str());
        return;
    }
    // A file that could not be written whole never carries a verdict's plain name.
    const std::string suffix = m_lost ? ".incomplete.log" : ".log";
    struct stat info {};
    m_lastFile.reset();
    if (m_lost && (stat(m_partial.c_str(), &info) != 0 || info.st_size == 0)) {
        std::remove(m_partial.c_str());
    } else {
        std::string target = m_dir + "/" + *m_finalName + suffix;
        for (int n = 2; Exists(target); ++n) {
            target = m_dir + "/" + *m_finalName + "-" + std::to_string(n) + suffix;
        }
        if (std::rename(m_partial.c_str(), target.c_str()) == 0) {
            m_lastFile = target;
        }
    }
    m_finalName.reset();
    m_lost.reset();
}

Result<void> BoxLogDir::Finish(const BoxRecord& record, const std::string& verdictLine) {
    if (!m_file && !m_lost) {
        if (Result<void> opened = OpenFile(); !opened) {
            m_lost = opened.Failure();
        }
    }
    if (m_file) {
        m_file->Append(verdictLine + "\r\n");
        if (Result<void> flushed = m_file->Flush(); !flushed && !m_lost) {
            m_lost = flushed.Failure();
        }
    }
    const std::optional<SysFailure> lost = m_lost;
    m_finalName = FileStem(m_safeSlot, record);
    if (m_file) {
        CloseFile();
    } else {
        m_finalName.reset();
        m_lost.reset();
    }
    if (lost) {
        return *lost;
    }
    return {};
}

void BoxLogDir::OnTextInserted(CWnd& wnd, std::size_t position, std::size_t replaced,
                               std::string_view text) {
    if (!m_file) {
        if (Result<void> opened = OpenFile(); !opened) {
            // The folder took files at the start: the box's record will say its log is lost.
            if (!m_lost) {
                m_lost = opened.Failure();
            }
            return;
        }
    }
    m_file->OnTextInserted(wnd, position, replaced, text);
}
