#pragma once

// A model of a real serial line for the benchmarks, because a pseudo-terminal hides what a cable
// costs: it carries bytes at once, and tcdrain and TIOCOUTQ answer at once.
//
// Principles of operation. The server under test opens an inner pseudo-terminal instead of the
// box's. A relay (LineRelay, in the bench's process) stands between the two and plays the
// adapter:
// - Transmit: the bytes the server writes leave at the line rate, one after another, so each
//   has a time when it leaves the wire. Those not yet gone sit in the chip's FIFO (the last
//   `fifo` of them) or in the kernel's queue (the rest), which TIOCOUTQ counts.
// - Receive: the box's bytes reach the server in packets: every millisecond on a USB adapter, or
//   once 14 have arrived or the line has been quiet for 4 character times on a 16550.
// The server's process runs a preloaded shim (liblinemodel_preload.so) that answers TIOCOUTQ and
// tcdrain on the inner terminal from the same state, shared through a mapped file: tcdrain
// returns once the chip is empty, noticed at the next 4 ms kernel tick, and on a USB adapter each
// look costs a 1 ms control transfer. The shim also counts those calls.
//
// The product never depends on any of this: it is loaded only by the benchmarks and the tests.

#include <atomic>
#include <cstdint>
#include <string>

enum class LineKind { Uart16550, Ftdi };

struct LineModelConfig {
    LineKind kind = LineKind::Ftdi;
    std::uint32_t bytesPerSecond = 11520;
    std::uint32_t fifo = 256;            // bytes the chip holds beyond the kernel's queue
    std::uint32_t kernelQueue = 4096;    // bytes the kernel takes before a write waits
    std::int64_t tickNs = 4000000;       // the kernel's tick: how often tcdrain looks
    std::int64_t drainLookNs = 1000000;  // what one look costs (a USB control transfer)
    std::int64_t packetNs = 1000000;     // USB adapter: received bytes go up once a millisecond
    std::uint32_t rxTrigger = 14;        // 16550: bytes that raise the receive interrupt

    static LineModelConfig For(LineKind kind, std::uint32_t bytesPerSecond);
    std::int64_t ByteNs() const { return 1000000000LL / bytesPerSecond; }
};

const char* LineKindName(LineKind kind);

// The state the relay publishes and the shim reads, in a file both map. Times are
// CLOCK_MONOTONIC nanoseconds, which both processes share.
struct LineModelShared {
    static constexpr std::uint32_t kMagic = 0x4c4d3031;  // "LM01"
    std::uint32_t magic = kMagic;
    char innerPath[128] = {};  // the terminal the server opens
    LineModelConfig config;

    std::atomic<std::int64_t> wireFreeAtNs{0};    // when the last byte taken leaves the wire
    std::atomic<std::uint64_t> serverWritten{0};  // bytes the server wrote (the shim counts)
    std::atomic<std::uint64_t> relayTaken{0};     // of those, bytes the relay has taken
    std::atomic<std::uint64_t> drainCalls{0};     // tcdrain on the inner terminal
    std::atomic<std::uint64_t> outqCalls{0};      // TIOCOUTQ on the inner terminal
    std::atomic<std::uint64_t> drainNs{0};        // time spent inside those tcdrain calls
};

// Creates (or maps an existing) shared-state file; null on failure with `error` set.
LineModelShared* MapLineModel(const std::string& path, bool create, std::string& error);
void UnmapLineModel(LineModelShared* shared);

std::int64_t MonotonicNs();
