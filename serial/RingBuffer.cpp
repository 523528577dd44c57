#include "serial/RingBuffer.h"

#include <cstring>

#include "platform/base/Sleep.h"

namespace {

int CountOf(std::int32_t write, std::int32_t read) {
    return (write - read + RING_BUFFER_SIZE) % RING_BUFFER_SIZE;
}

}  // namespace

CRingBuffer::CRingBuffer() {
    Reset();
}

void CRingBuffer::Reset() {
    std::memset(m_store, 0, sizeof m_store);
    m_nWrite.store(0, std::memory_order_release);
    m_nRead.store(0, std::memory_order_release);
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
    m_nWrite.store(Next(write), std::memory_order_release);
    return 1;
}

int CRingBuffer::GetByte(BYTE* dest, int timeoutMs) {
    for (int remaining = timeoutMs; remaining > 0; remaining -= 10) {
        if (GetCount() != 0) {
            break;
        }
        Sleep(10);
    }
    const std::int32_t read = m_nRead.load(std::memory_order_relaxed);
    if (CountOf(m_nWrite.load(std::memory_order_acquire), read) == 0) {
        return 0;
    }
    *dest = m_store[read];
    m_nRead.store(Next(read), std::memory_order_release);
    return 1;
}
