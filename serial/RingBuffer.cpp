#include "serial/RingBuffer.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

int CountOf(std::int32_t write, std::int32_t read) {
    return (write - read + RING_BUFFER_SIZE) % RING_BUFFER_SIZE;
}

// The futex word is the write index itself: a reader sleeps while it still holds the value it
// saw, so a byte stored between the reader's look and its sleep ends the sleep at once.
int* FutexWord(std::atomic<std::int32_t>& index) {
    static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(int));
    return reinterpret_cast<int*>(&index);
}

void FutexWait(std::atomic<std::int32_t>& index, std::int32_t seen, Clock::duration left) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec relative{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    // EINTR, EAGAIN (the index moved) and ETIMEDOUT all send the caller back to look again.
    syscall(SYS_futex, FutexWord(index), FUTEX_WAIT_PRIVATE, seen, &relative, nullptr, 0);
}

void FutexWakeOne(std::atomic<std::int32_t>& index) {
    syscall(SYS_futex, FutexWord(index), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// The wait a timeout allows: counted in steps of 10 ms, so 1000 allows one second and 15 allows
// 20 ms; 0 or less allows none.
Clock::duration AllowedWait(int timeoutMs) {
    if (timeoutMs <= 0) {
        return Clock::duration::zero();
    }
    return std::chrono::milliseconds((timeoutMs + 9) / 10 * 10);
}

}  // namespace

CRingBuffer::CRingBuffer() {
    Reset();
}

void CRingBuffer::Reset() {
    std::memset(m_store, 0, sizeof m_store);
    m_nWrite.store(0, std::memory_order_release);
    m_nRead.store(0, std::memory_order_release);
    m_nReaderWaiting.store(0, std::memory_order_release);
}

int CRingBuffer::GetCount() const {
    return CountOf(m_nWrite.load(std::memory_order_acquire),
                   m_nRead.load(std::memory_order_acquire));
}

int CRingBuffer::PutByte(BYTE b) {
    const std::int32_t write = m_nWrite.load(std::memory_order_relaxed);
    if (CountOf(write, m_nRead.load(std::memory_order_acquire)) == RING_BUFFER_SIZE - 1) {
        return 0;
    }
    m_store[write] = b;
    // Sequentially consistent with the reader's flag: either the reader sees this byte before it
    // sleeps, or this side sees the reader waiting and wakes it.
    m_nWrite.store(Next(write), std::memory_order_seq_cst);
    if (m_nReaderWaiting.load(std::memory_order_seq_cst) != 0) {
        FutexWakeOne(m_nWrite);
    }
    return 1;
}

void CRingBuffer::WaitForByte(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + AllowedWait(timeoutMs);
    for (;;) {
        m_nReaderWaiting.store(1, std::memory_order_seq_cst);
        const std::int32_t seen = m_nWrite.load(std::memory_order_seq_cst);
        const Clock::duration left = deadline - Clock::now();
        if (CountOf(seen, m_nRead.load(std::memory_order_relaxed)) != 0 ||
            left <= Clock::duration::zero()) {
            break;
        }
        FutexWait(m_nWrite, seen, left);
    }
    m_nReaderWaiting.store(0, std::memory_order_relaxed);
}

int CRingBuffer::GetByte(BYTE* dest, int timeoutMs) {
    if (GetCount() == 0) {
        WaitForByte(timeoutMs);
    }
    const std::int32_t read = m_nRead.load(std::memory_order_relaxed);
    if (CountOf(m_nWrite.load(std::memory_order_acquire), read) == 0) {
        return 0;
    }
    *dest = m_store[read];
    m_nRead.store(Next(read), std::memory_order_release);
    return 1;
}
