#pragma once

// A slot as its supervisor sees it, whatever carries its channel (slot/SlotChannel.h): a
// process on a socket pair (SlotProcess.h), or a peer in memory in the supervisor's tests. The
// supervisor sends messages down and hears frames and the slot's end up, through the transport
// that started it.
//
// Threading rules: the supervisor's thread only, but SlotTransport::Wake, which any thread may
// call.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Result.h"
#include "record/Json.h"

// How a slot's process ended.
struct SlotExit {
    int status = 0;         // its exit status; -1 when a signal ended it
    int signal = 0;         // the signal that ended it, or 0
    std::string lastWords;  // the last line it wrote on standard error
};

class SlotPeer {
  public:
    // A slot that still runs is killed and waited for.
    virtual ~SlotPeer() = default;
    // A message down the channel; lost when the channel is gone.
    virtual void Send(const Json& message) = 0;
    // Ends the slot at once (the watchdog, a stop past its bound, a broken channel); its end is
    // heard as any other.
    virtual void Kill() = 0;
    // The slot's process id, which names its hidden files (slot/BoxLogDir.h); 0 where none.
    virtual long Pid() const = 0;
};

class SlotTransport {
  public:
    // What the supervisor hears, from within Wait.
    class Ears {
      public:
        virtual ~Ears() = default;
        // A frame from slot `slot`; nothing for one that does not decode, after which that
        // channel brings nothing more.
        virtual void OnFrame(std::size_t slot, const std::optional<Json>& message) = 0;
        // Slot `slot` has ended, its channel read to its end.
        virtual void OnExit(std::size_t slot, const SlotExit& exit) = 0;
    };

    virtual ~SlotTransport() = default;
    // Starts slot `slot`; what it writes on standard error goes to `errorFile`.
    virtual Result<std::unique_ptr<SlotPeer>> Start(std::size_t slot,
                                                    const std::string& errorFile) = 0;
    // Waits at most `bound` for what the slots say, and hands it to `ears`; a Wake ends it early.
    virtual void Wait(std::chrono::milliseconds bound, Ears& ears) = 0;
    // Any thread: the next or current Wait returns at once.
    virtual void Wake() = 0;
};
