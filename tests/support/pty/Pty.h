#pragma once

// A pseudo-terminal for tests: the program under test opens SlavePath() as its serial device,
// so its own open, lock and termios code runs; the test plays the device on the master side.
//
// The pty starts raw both ways (no echo, no CR/LF mapping). The test keeps a slave descriptor
// open until ReleaseSlave: with no slave open, the master reports POLLHUP and EIO, which would
// look like an unplug before the program has even opened the port. CloseMaster is a faithful
// unplug: the program sees POLLHUP, then read() == 0, and EIO from writes.
//
// Use a fresh Pty per test: TIOCEXCL stays on a slave after its exclusive user closed it.
//
// Threading rules: one thread may write the master while another reads it; everything else
// from one thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Pty {
  public:
    // Throws std::system_error when the system has no pty to give.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }
    // The test's own slave descriptor, or -1 after ReleaseSlave.
    int SlaveFd() const { return m_slave; }

    void ReleaseSlave();
    void CloseMaster();

    // Writes every byte at the device side; false when the deadline passed or the pty failed.
    bool WriteAll(const void* data, std::size_t length,
                  std::chrono::milliseconds deadline = std::chrono::seconds(10));
    bool WriteAll(const std::vector<std::uint8_t>& bytes,
                  std::chrono::milliseconds deadline = std::chrono::seconds(10));
    // Reads until `count` bytes have come or the deadline passed; returns what came.
    std::vector<std::uint8_t> ReadExactly(
        std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10));
    // What the device side can read right now, without waiting.
    std::vector<std::uint8_t> ReadAvailable();
    // Bytes written at the device side that the program has not read yet (FIONREAD on the
    // test's slave descriptor; needs the slave still held).
    std::size_t PendingForProgram() const;

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
