#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// The tool's side of the link at its plainest: it opens a device, reads frames by counting
// (STX, command, six payload bytes for a data request, ETX), and answers from an image. It
// exists to drive the simulated box in tests and benchmarks; faults can be switched on to see
// that the box notices them.
struct ResponderFaults {
    int64_t corruptOffset = -1;     // this image byte goes out with its bits inverted
    bool wrongStartAnswer = false;  // 02 01 0B 03 instead of 02 01 0A 03
    int64_t skipDataOffset = -1;    // the request for this offset gets no answer
    bool answerExit = false;        // EXIT_APP is answered like a start
    int timeOffsetSeconds = 0;      // the clock the time answer is made from is off by this
    int ignoreStarts = 0;           // the first n STB_STARTs are dropped, as a late tool would
};

struct ResponderCounts {
    int starts = 0;
    int timeRequests = 0;
    int dataRequests = 0;
    int exits = 0;
    int unknown = 0;
    uint64_t consoleBytes = 0;      // bytes outside frames
    int framesAcrossReads = 0;      // frames whose bytes came in more than one read()
    bool sawPayloadStxEtx = false;  // a data request payload held 0x02 or 0x03
};

// Threading: Start() runs the responder on its own thread; Stop() and Join() from the thread
// that started it. Counts are read after Join().
class ReferenceResponder {
  public:
    ReferenceResponder(std::string device, std::vector<uint8_t> image, ResponderFaults faults = {});
    ~ReferenceResponder();

    // Opens the device (false when it cannot) and starts serving.
    bool Start();
    void Stop();
    // Waits for the thread to end: after Stop(), or by itself when the line is lost.
    ResponderCounts Join();

  private:
    void Serve();
    bool Next(uint8_t& byte);
    bool Fill();
    void Answer(uint8_t command, const uint8_t* payload);
    void SendData(uint32_t offset, uint16_t length);
    void SendTime();
    void Send(const uint8_t* data, size_t size);

    std::string m_strDevice;
    std::vector<uint8_t> m_image;
    ResponderFaults m_faults;
    ResponderCounts m_counts;
    int m_hFd = -1;
    int m_hWake = -1;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::vector<uint8_t> m_pending;
    size_t m_nPos = 0;
    uint64_t m_nReads = 0;
};
