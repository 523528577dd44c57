#pragma once

// The owner of one file descriptor: closed once, when the owner goes, and never twice. Every
// descriptor the system opens outside the port's own members is held by one of these, so an
// early return cannot leak it and a moved-from owner cannot close it again.

#include <unistd.h>

#include <utility>

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_fd, -1));
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    explicit operator bool() const { return Valid(); }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes what it holds and takes `fd`; answers close's result (0 when nothing was held),
    // since on a file close is where a full disk may first show.
    int Reset(int fd = -1) {
        int result = 0;
        if (m_fd >= 0) {
            result = ::close(m_fd);
        }
        m_fd = fd;
        return result;
    }

  private:
    int m_fd = -1;
};
