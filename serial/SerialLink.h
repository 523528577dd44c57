#pragma once

// The system's one serial port: opens a port by name, sets the line, and runs the watch thread
// (ThreadWatchComm) that moves received bytes into m_rxRing and posts WM_COMM_RECEIVED to the
// owner window. Write returns once the kernel has taken the bytes; it never waits for them to
// leave the wire. A write the box stops taking ends after the port's stall bound and is reported
// to the owner like a lost port (m_uLostMessage), with the port marked stalled. The link shows
// no messages and logs nothing; callers report success and failure.
//
// Threading rules:
// - The owner's thread (the dialog's) calls Open, Close and Write, sets m_hOwnerWnd before Open,
//   and takes bytes from m_rxRing. The watch thread calls Read and puts bytes into m_rxRing.
// - m_bOpen is written by the owner's thread (and cleared once by the watch thread when the port
//   is lost); both read it.
// - The watch thread reads m_hPort, m_ovRead, m_strPortName and m_uRxMessage, which the owner
//   changes only while no watch thread runs: Open sets them before starting the thread, and
//   Close changes them only after joining it.
// - AbortWrite may be called from any thread (a signal watcher): it ends a write waiting for
//   room at once.
// - Close wakes the watch thread (its wait and any "buff full" box it waits on) and joins it
//   before the descriptor is closed, so closing never deadlocks and never pulls a descriptor
//   from under a reader. Called on the watch thread itself, Close only stops the thread; the
//   port is released by the owner's next Close, Open or the destructor.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/Win32Types.h"
#include "platform/comm/CommPort.h"
#include "platform/comm/CommWaitEvent.h"
#include "platform/host/WorkerMessageBox.h"
#include "serial/CommMessages.h"
#include "serial/RingBuffer.h"

// The watch thread's exit code while it runs.
inline constexpr DWORD STILL_ACTIVE = 259;

class CSerialLink {
  public:
    CSerialLink();
    // Closes: a link never outlives its port or its watch thread.
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // 1 when the port is open, configured and watched; 0 otherwise. A port still held from a
    // failed configuration is released first. `baud` must not be 0.
    BOOL Open(std::string portName, DWORD baud, BYTE byteSize, BYTE stopBits, BYTE parity);
    // Safe at any time, also repeatedly. Keeps the name.
    void Close();
    // Bytes written; 0 without any system call while the link is not open.
    DWORD Write(const BYTE* buf, DWORD len);
    // Why the last Open failed, or why the port was lost or stalled since, naming the device
    // (or the port name when no device stands for it). Any thread; empty after a success only
    // until the next failure, so read it right after the failure it explains.
    SysFailure LastFailure() const;
    // The watch thread records why the port went away.
    void NoteLoss(const SysResult& result);

    // Any thread: a write waiting for room ends now, and so does every later one that would
    // wait, until the link is opened again. For an operator's stop while the box is not reading.
    void AbortWrite();
    // What the driver holds, at most `capacity`; 0 without a read when nothing waits.
    DWORD Read(BYTE* buf, DWORD capacity);

    // 1..4 give "COM1".."COM4"; every other number the device-namespace form "\\.\COM<n>".
    static std::string PortNameFromNumber(int n);
    // The inverse: "COM1".."COM4" exactly, else the number after the first "COM" that does not
    // start the name, read as atoi would; 0 when there is none.
    static int PortNumberFromName(std::string name);

    std::unique_ptr<CommPort> m_hPort;  // null while no port is held
    std::string m_strPortName;          // the name last given to Open, stored before opening
    std::atomic<std::int32_t> m_bOpen{0};
    std::unique_ptr<CommWaitEvent> m_ovRead;   // cuts the watch thread's wait short
    std::unique_ptr<CommWaitEvent> m_ovWrite;  // cuts a write's wait for room short
    std::thread m_hWatchThread;
    CRingBuffer m_rxRing;
    std::atomic<HWND> m_hOwnerWnd{kNoWindow};
    UINT m_uRxMessage = WM_COMM_RECEIVED;

    // The watch thread's message boxes ("buff full"); Close releases a wait on one.
    MessageBoxGate m_watchBox;
    UINT m_uLostMessage = WM_COMM_LOST;
    // STILL_ACTIVE while the watch thread runs; then 1 after a stop, 0 after a start-up failure.
    std::atomic<DWORD> m_dwWatchExitCode{0};
    // Received bytes dropped because the ring had no room for their read ("buff full"), since
    // the link was made: a host that cannot show a box per drop says how many were lost.
    std::atomic<std::uint64_t> m_droppedBytes{0};

  private:
    std::mutex m_writeEventLock;  // m_ovWrite's creation and release against AbortWrite
    mutable std::mutex m_failureLock;
    SysFailure m_lastFailure;     // guarded by m_failureLock
    std::string m_strDevicePath;  // the device the open port stands for

    BOOL Failed(const SysResult& result, const std::string& subject);
    void SetLastFailure(const SysResult& result, const std::string& subject);
    void SetLastFailure(const SysFailure& failure);

    void StopWatchThread();
    void ReleasePort();
    BOOL StartWatchThread();
};
