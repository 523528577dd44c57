#pragma once

// What a download is: the image being served, its size and how far the box has read. The main
// dialog owns one; the download control starts and stops it, the protocol serves from it.
//
// Invariant: the image file is open exactly while a download runs, and a closed stream is never
// kept (CloseImage leaves m_pImageFile null at once).

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "download/ConsoleText.h"
#include "download/Coverage.h"
#include "download/ImageIdentity.h"
#include "download/StbFrame.h"

// What one box has had so far, for its verdict and record. START resets it; stopping keeps it,
// so that whoever hears of the end can still read it.
struct DownloadTally {
    std::chrono::system_clock::time_point started;
    std::chrono::steady_clock::time_point startedSteady;
    // When the box last sent anything, or when its last answer had gone out if that is later:
    // the silence bound counts from here.
    std::chrono::steady_clock::time_point lastHeard;
    bool heard = false;   // the box has sent something since START
    bool framed = false;  // ... and a whole frame: its session has begun
    std::int64_t bytesSent = 0;
    std::int64_t requests = 0;  // data requests answered
    Coverage coverage;          // the image's bytes asked for
    Coverage sentCoverage;      // the image's bytes written to the port
    Coverage overlaySent;       // ... of them, those of the overlay (a unit's region)
    ConsoleTextTally console;   // what the box printed before its first frame
};

// Bytes served in place of the image's own over one range: a unit's region with this box's data
// and checksum written in. It departs from the image file's bytes only for a job with a [unit];
// the checks that the image is unchanged, and its SHA-256, stay about the file.
struct ImageOverlay {
    std::int64_t offset = 0;
    std::string bytes;
};

struct DownloadState {
    std::string m_strImagePath;
    std::FILE* m_pImageFile = nullptr;
    std::int64_t m_nImageSize = 0;
    // End of the last requested block: its offset plus its requested length.
    std::int64_t m_nOffset = 0;
    // What START saw of the image, to notice it changing under the download.
    ImageIdentity m_imageIdentity;
    std::string m_imageSha256;
    DownloadTally m_tally;
    // The rate the port is opened at; every time on the wire follows from it.
    DWORD m_lineBaud = kLineBaud;
    // A box passes only when every byte of the image was written to the port.
    bool m_requireWhole = false;
    // This box's own bytes over a range of the image; a box that ends well without having been
    // sent every one of them fails (EndReason::UnitNotDelivered).
    std::optional<ImageOverlay> m_overlay;
    // A job with a [unit]: no data answer goes out before this box's overlay is in hand. A
    // request that comes before it is held (the latest one) and answered once it is.
    bool m_unitWanted = false;
    std::optional<std::array<BYTE, STB_DATA_REQ_PAYLOAD>> m_heldRequest;
    // A job that requires each box's scan: the box's START is not answered while this holds
    // (its host sets it at each START). The STARTs that come meanwhile are counted, and each
    // is answered once they are let go, as repeated STARTs always are.
    bool m_startGated = false;
    int m_startsHeld = 0;

    // One flag for the whole program, as there is one download at a time.
    static bool s_bRunning;

    DownloadState() = default;
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;
    ~DownloadState() { CloseImage(); }

    void CloseImage() {
        if (m_pImageFile != nullptr) {
            std::fclose(m_pImageFile);
            m_pImageFile = nullptr;
        }
    }
};
