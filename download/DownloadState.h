#pragma once

// What a download is: the image being served, its size and how far the box has read. The main
// dialog owns one; the download control starts and stops it, the protocol serves from it.
//
// Invariant: the image file is open exactly while a download runs, and a closed stream is never
// kept (CloseImage leaves m_pImageFile null at once).

#include <cstdint>
#include <cstdio>
#include <string>

struct DownloadState {
    std::string m_strImagePath;
    std::FILE* m_pImageFile = nullptr;
    std::int64_t m_nImageSize = 0;
    // End of the last requested block: its offset plus its requested length.
    std::int64_t m_nOffset = 0;

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
