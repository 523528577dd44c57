#pragma once

// What a host may want to hear about a download beyond what the window shows: the command-line
// host ends with the box's verdict, and --loop starts the next box after each EXIT_APP.

#include <functional>

enum class DownloadEvent {
    Started,        // START opened the image and reconnected the port
    BoxFinished,    // the box sent EXIT_APP; the download has been stopped
    PortLost,       // the serial port went away
    BoxStalled,     // the box stopped reading: a write made no progress for the stall bound
    ConnectFailed,  // a connection attempt failed
    ImageChanged,   // the image file changed under the download; it has been stopped
    BoxSilent,      // the box sent nothing for the silence bound; the download has been stopped
};

using DownloadEventSink = std::function<void(DownloadEvent)>;
