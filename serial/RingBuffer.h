#pragma once

// The receive queue between the watch thread, which puts bytes in, and the protocol on the UI
// thread, which takes them out one at a time. 4192 bytes of store inside the object; one slot
// always stays free, so at most 4191 bytes are held.
//
// Threading rules: exactly one producer thread (PutByte) and one consumer thread (GetByte);
// either may call GetCount. Each index is written by its own side only, with a release store,
// and read by the other side with an acquire load: the byte in a slot is visible before the
// write index covers it, and a slot is read before the read index frees it. No lock, no
// read-modify-write, no allocation. Reset runs only while neither side is active.
//
// A reader that finds the buffer empty sleeps on a futex over the write index and is woken by the
// byte that arrives, not by a timer: the producer pays one extra load per byte, and a system call
// only while a reader actually sleeps.

#include <atomic>
#include <cstdint>

#include "platform/base/Win32Types.h"

inline constexpr int RING_BUFFER_SIZE = 4192;

class CRingBuffer {
  public:
    static constexpr int RING_BUFFER_SIZE = ::RING_BUFFER_SIZE;

    CRingBuffer();

    // Both indices to 0 and the store to zero bytes.
    void Reset();
    // Bytes held, 0..4191. Possibly out of date, but only in the safe direction for the caller's
    // side: the consumer may see fewer, the producer less room.
    int GetCount() const;
    // 1 when stored; 0 when the buffer was full (the byte is dropped).
    int PutByte(BYTE b);
    // 1 when a byte was taken into *dest; 0 when none came in time (*dest untouched). The wait
    // is allowed in steps of 10 ms (1000 allows one second, 15 allows 20 ms, 0 or less looks once
    // without waiting), and ends as soon as a byte is stored.
    int GetByte(BYTE* dest, int timeoutMs);

  private:
    static int Next(int index) { return index + 1 == RING_BUFFER_SIZE ? 0 : index + 1; }
    void WaitForByte(int timeoutMs);

    BYTE m_store[RING_BUFFER_SIZE];
    std::atomic<std::int32_t> m_nWrite{0};
    std::atomic<std::int32_t> m_nRead{0};
    // Set by the consumer while it sleeps for a byte; the producer then wakes it.
    std::atomic<std::int32_t> m_nReaderWaiting{0};
};
