#include "serial/SerialLink.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include "platform/comm/LineRefusal.h"
#include "platform/comm/LineSettings.h"
#include "platform/host/MessageQueue.h"
#include "platform/ports/PortMap.h"
#include "serial/ThreadWatchComm.h"

namespace {

// The link whose watch thread is the calling thread, if any: Close must not join itself.
thread_local const CSerialLink* t_watchedLink = nullptr;

}  // namespace

CSerialLink::CSerialLink() = default;

CSerialLink::~CSerialLink() {
    Close();
    // Close on the watch thread leaves the release to the owner; the owner is going away.
    if (t_watchedLink != this) {
        ReleasePort();
    }
}

BOOL CSerialLink::Open(std::string portName, DWORD baud, BYTE byteSize, BYTE stopBits,
                       BYTE parity) {
    // A port left held by a failed configuration, or a thread left by a lost port.
    if (m_hPort || m_hWatchThread.joinable()) {
        Close();
    }
    m_ovRead = CommWaitEvent::Create();
    {
        std::lock_guard lock(m_writeEventLock);
        m_ovWrite = CommWaitEvent::Create();
    }
    m_strPortName = std::move(portName);
    if (!m_ovRead || !m_ovWrite) {
        ReleasePort();
        return Failed(SysResult::FromErrno("eventfd", EMFILE), m_strPortName);
    }
    const std::optional<std::string> device = DevicePathForPortName(m_strPortName);
    if (!device) {
        return Failed(SysResult{SysStatus::NotFound, "", 0}, m_strPortName);
    }
    SysResult opened;
    m_hPort = CommPort::Open(*device, &opened);
    if (!m_hPort) {
        return Failed(opened, *device);
    }
    m_hPort->Purge();
    // A rejected setting leaves the port held (and so still exclusive) until Close or the next
    // Open, as the caller may rely on.
    const LineSettings settings{baud, byteSize, stopBits, parity};
    const SysResult configured = m_hPort->Configure(settings);
    if (!configured.Ok()) {
        SetLastFailure(LineRefusal(configured, *device, settings));
        return 0;
    }
    m_strDevicePath = *device;
    m_bOpen.store(1);
    return StartWatchThread();
}

BOOL CSerialLink::StartWatchThread() {
    m_watchBox.Rearm();
    m_dwWatchExitCode.store(STILL_ACTIVE);
    try {
        m_hWatchThread = std::thread([this] {
            t_watchedLink = this;
            m_dwWatchExitCode.store(ThreadWatchComm(this));
        });
    } catch (const std::system_error&) {
        m_dwWatchExitCode.store(0);
        Close();
        return 0;
    }
    return 1;
}

BOOL CSerialLink::Failed(const SysResult& result, const std::string& subject) {
    SetLastFailure(result, subject);
    return 0;
}

void CSerialLink::SetLastFailure(const SysResult& result, const std::string& subject) {
    SetLastFailure(SysFailure{result, subject});
}

void CSerialLink::SetLastFailure(const SysFailure& failure) {
    std::lock_guard lock(m_failureLock);
    m_lastFailure = failure;
}

SysFailure CSerialLink::LastFailure() const {
    std::lock_guard lock(m_failureLock);
    return m_lastFailure;
}

void CSerialLink::NoteLoss(const SysResult& result) {
    SetLastFailure(result, m_strDevicePath);
}

void CSerialLink::Close() {
    m_bOpen.store(0);
    StopWatchThread();
    if (t_watchedLink == this) {
        return;
    }
    if (m_hWatchThread.joinable()) {
        m_hWatchThread.join();
    }
    ReleasePort();
}

void CSerialLink::StopWatchThread() {
    if (m_ovRead) {
        m_ovRead->Signal();
    }
    if (m_ovWrite) {
        m_ovWrite->Signal();
    }
    m_watchBox.Release();
}

void CSerialLink::ReleasePort() {
    if (m_hPort) {
        m_hPort->Purge();
        m_hPort.reset();
    }
    m_ovRead.reset();
    std::lock_guard lock(m_writeEventLock);
    m_ovWrite.reset();
}

void CSerialLink::AbortWrite() {
    std::lock_guard lock(m_writeEventLock);
    if (m_ovWrite) {
        m_ovWrite->Signal();
    }
}

DWORD CSerialLink::Write(const BYTE* buf, DWORD len) {
    if (m_bOpen.load() == 0 || !m_hPort || !m_ovWrite) {
        return 0;
    }
    const DWORD baud = m_hPort->Baud();
    const DWORD perByte = WriteTimeoutPerByteMs(baud);
    std::optional<std::chrono::milliseconds> timeout;
    if (perByte != 0) {
        timeout = std::chrono::milliseconds(static_cast<long long>(perByte) * len);
    }
    const SysIo io = m_hPort->WriteAll(buf, len, *m_ovWrite, timeout);
    // The box has stopped reading: tell the owner once, as for a hang-up, and count the link
    // closed so the rest of the answer is not written (and waited for) piece by piece.
    if (io.result.status == SysStatus::Stalled && m_bOpen.exchange(0) != 0) {
        NoteLoss(io.result);
        PostMessage(m_hOwnerWnd.load(), m_uLostMessage, 0, 0);
    }
    return static_cast<DWORD>(io.count);
}

DWORD CSerialLink::Read(BYTE* buf, DWORD capacity) {
    if (!m_hPort || capacity == 0) {
        return 0;
    }
    if (m_hPort->BytesWaiting().count == 0) {
        return 0;
    }
    return static_cast<DWORD>(m_hPort->ReadNow(buf, capacity).count);
}
