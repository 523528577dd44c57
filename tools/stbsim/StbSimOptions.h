#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the simulated box does and how strictly it waits. Plain data: fill it, hand it to
// StbSimulator, and do not change it while the simulator runs.
struct StbSimOptions {
    // The image the box loads; every answered byte is compared with it.
    std::vector<uint8_t> image;

    // Bytes asked for per STB_DATA_REQ (1..65535); the last block is shorter.
    uint32_t blockSize = 4096;

    // Pacing of both directions, as a UART would: 0 = as fast as possible; 11520 = 115200 8N1.
    uint32_t lineBytesPerSecond = 0;
    // Whether the tool's bytes are held to that rate too. A modelled line in front of the box
    // already delivers them at the line rate; pacing them again would count the line twice.
    bool paceReceive = true;

    // The serial number the box prints in its boot banner; none when empty.
    std::string serial;

    // Console lines between requests, as a chatty loader prints them.
    bool consoleNoise = false;

    // A box that never asks: it prints its console (Talk: a loader not in download mode) or
    // bytes that are mostly not text (Garbage: a line at the wrong speed) every 300 ms until the
    // tool lets go of the port. Flood prints console lines back to back, as fast as the line
    // takes them (a loader stuck in a verbose loop); Endless prints one line that never ends
    // the same way (a loader that lost its line breaks).
    enum class Chatter { None, Talk, Garbage, Flood, Endless };
    Chatter chatter = Chatter::None;
    // A flood's bytes per write: 0 writes each line (or piece of the endless line) as it is
    // printed; more gathers that many bytes into one write, as a loader that dumps a buffer
    // (or a USB adapter that delivers in packets) does. The line's pace is the same.
    std::uint32_t floodPiece = 0;
    // After the last block, the box prints a progress line twice a second for this long before it
    // ends the download: a loader that programs flash while it talks.
    int programMs = 0;

    // Each request frame written in two or three pieces with short pauses in between.
    bool splitFrames = false;
    int splitPauseMs = 20;

    // Boxes served one after another on the same line (a production line with --loop).
    int boxes = 1;

    // Close the line once this many image bytes were received (-1 = never): a pulled cable.
    int64_t hangUpAfterBytes = -1;

    // Once this many image bytes were received (-1 = never), the box asks for a block larger
    // than the line holds and reads no more: a box whose UART stopped taking bytes. It stays so
    // until stopped.
    int64_t stopReadingAfterBytes = -1;
    // Once this many image bytes were received (-1 = never), the box neither asks nor reads any
    // more, the line left open: a box that froze. It stays so until stopped.
    int64_t silentAfterBytes = -1;

    // The first failFirst boots of the box fail on purpose, each the same way, and the boots
    // after them load as asked: a box that glitched, for a tool that retries it. A stall stops
    // reading and a silence falls silent, each half-way through the image; Talk prints its
    // console and never asks (a loader that missed download mode).
    enum class Glitch { Stall, Silent, Talk };
    int failFirst = 0;
    Glitch glitch = Glitch::Stall;

    // With a power input (StbSimulator::AttachPower), what the box's line does when the power
    // goes off: falls silent, the port left as it is (a box behind a powered adapter), or hangs
    // up (the adapter is powered with the box), and comes back on a new pseudo-terminal.
    bool powerOffHangsUp = false;

    // How long the box waits for an answer, per request; pacing adds the block's line time.
    int answerTimeoutMs = 3000;
    // How long the box keeps repeating STB_START before it gives up on the tool.
    int startTimeoutMs = 30000;
    // STB_START is repeated this often until answered (the tool may open the port late).
    int startRepeatMs = 500;
    // After repeated starts: how long the line must stay quiet before the box believes that no
    // further acknowledgement is on its way.
    int startSyncQuietMs = 300;
    // Quiet time after EXIT_APP during which any byte is a stray answer.
    int exitQuietMs = 200;
    // Allowed difference between the tool's clock and the box's, in seconds.
    int timeSkewSeconds = 3;

    // --show-region: the box's own bytes (a unit's data, which the tool writes into each box's
    // answers) lie here, so they are not compared with the image; each box says what it
    // received there once its download ends, through `log`:
    //   box 3 region 0x1F000+16: 53 4e 30 30 30 30 31 30 30 32 00 00 00 00 00 00
    // ("..": a byte it never received). Length 0: none.
    int64_t regionOffset = 0;
    uint32_t regionLength = 0;

    // The simulator's own progress and diagnostic lines (no line break); none when empty.
    std::function<void(const std::string&)> log;
};
