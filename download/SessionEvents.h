#pragma once

// What happens to a download, as typed events beside the controls the download drives. The
// download control and the protocol tell every observer at the points where they update the
// window: START, the box's first frame, each answered request with its figures, a time request,
// and the end with one reason. Hosts, verdicts and records are made from these events; nobody
// reads a control back to learn where a download stands.
//
// Threading rules: every event is told on the UI thread, after the box has been answered. An
// observer must not wait: what it writes or sends is queued.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/SysResult.h"

// Why a download (and with it the box's session) ended.
enum class EndReason {
    Passed,                // EXIT_APP
    PortNotOpened,         // the port could not be opened
    PortLost,              // cable pulled, adapter unplugged
    BoxStalled,            // the box stopped reading
    ImageChanged,          // the image changed during the download
    BoxSilent,             // nothing from the box for the silence bound
    BoxTalking,            // the box only talked, and asked for nothing, for the silence bound
    OperatorStop,          // Stop, or a signal
    SlotCrashed,           // the process serving the box ended without a verdict
    StationKilled,         // the station itself ended without one: told by its next start
    ImageNotWhole,         // EXIT_APP, but the run requires every byte sent and some were not
    UnitNotDelivered,      // EXIT_APP, but a byte of the box's own region never reached the port
    UnitPoolEmpty,         // the box's own data could not be drawn: a source of the pool is empty
    UnitStoreUnreachable,  // ... the pool's database could not be reached
    NotScanned,            // a job that requires a scan: none came within the silence bound
    BoxMismatch,           // the box's console names another box than the one scanned
    BoxRepeat,             // the box already passed under this job, and the job blocks repeats
};

// The fixed word of a reason, as records and the station's events carry it ("port-lost").
const char* EndReasonCode(EndReason reason);
// The reason a word names; false for a word no reason has.
bool EndReasonFromCode(std::string_view code, EndReason* reason);

// START opened the image and reconnected the port.
struct DownloadStarted {
    std::string imagePath;
    std::int64_t imageSize = 0;
    std::string imageSha256;
    std::string portName;  // "COM7", as the operator chose it
    std::string device;    // the device path behind it, where the port map knows one
    std::chrono::system_clock::time_point when;
    std::uint32_t baud = 115200;  // the line's rate: how long an answer takes on the wire
};

// A data request has been answered (or, past the image's end, passed over).
struct RequestAnswered {
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
    std::int64_t sent = 0;  // bytes of this answer the port took
    // The bar's position: the end of the last requested block.
    std::int64_t position = 0;
    std::int64_t imageSize = 0;
    // Since START: image bytes written to the port, distinct image bytes written and asked
    // for, data requests answered.
    std::int64_t bytesSent = 0;
    std::int64_t distinctSent = 0;
    std::int64_t distinctAsked = 0;
    std::int64_t requests = 0;
};

// How a download ended: the reason and, where the system gave one, its failure.
struct DownloadEnded {
    EndReason reason = EndReason::OperatorStop;
    SysFailure failure;
    std::chrono::seconds silence{0};  // the silence bound, for BoxSilent and BoxTalking
};

// "is it in download mode?", or "wrong line speed or wrong port?" when most of what the box
// sent was not text: what to look at when a box talks but asks for nothing.
const char* NoRequestHint(bool mostlyNotText);

class DownloadObserver {
  public:
    virtual ~DownloadObserver() = default;

    virtual void OnStarted(const DownloadStarted& /*started*/) {}
    // START found no image to serve ("No input file", "Cannot read input file").
    virtual void OnStartRefused(const SysFailure& /*failure*/) {}
    // A connection attempt opened the port, or did not.
    virtual void OnConnected(int /*portNumber*/) {}
    virtual void OnConnectFailed(const SysFailure& /*failure*/) {}
    // The port went away while no download ran.
    virtual void OnPortLostIdle(const SysFailure& /*failure*/) {}
    // Console bytes the protocol echoed to the log during one scan.
    virtual void OnConsoleText(std::string_view /*bytes*/) {}
    // The box's first complete frame since START.
    virtual void OnFirstFrame() {}
    // A START is held unanswered (a job that requires the box's scan first): told at the first
    // one of a download. The STARTs are answered, all of them, once they are let go.
    virtual void OnStartHeld() {}
    virtual void OnRequestAnswered(const RequestAnswered& /*request*/) {}
    virtual void OnTimeAsked() {}
    // The wire itself, for a capture of the session. The box's bytes as the protocol read them,
    // in runs that were read without waiting, `when` the run's first read: told after the scan,
    // before its frame is answered. Each answer frame as written, and each data answer's bytes
    // as far as the port took them whole. The bytes are valid during the call only.
    virtual void OnBoxBytes(std::string_view /*bytes*/,
                            std::chrono::steady_clock::time_point /*when*/) {}
    virtual void OnFrameSent(std::string_view /*frame*/) {}
    virtual void OnDataSent(std::uint32_t /*offset*/, std::uint16_t /*length*/,
                            std::string_view /*sent*/) {}
    // The silence bound ran out while the download goes on (a station's slot, the window): the
    // box talked since START but asked for nothing (`hint` says what to look at), or it has
    // been silent for `silence`. Told once per download each.
    virtual void OnNoRequest(const std::string& /*hint*/) {}
    virtual void OnSilentTooLong(std::chrono::seconds /*silence*/) {}
    virtual void OnEnded(const DownloadEnded& /*ended*/) {}
};

// Tells each observer in turn; observers are added and removed on the UI thread.
class DownloadObservers {
  public:
    void Add(DownloadObserver* observer);
    void Remove(DownloadObserver* observer);

    template <typename Call>
    void Tell(Call&& call) {
        // A copy: an observer may remove itself while it is told.
        const std::vector<DownloadObserver*> now = m_observers;
        for (DownloadObserver* observer : now) {
            if (Has(observer)) {
                call(*observer);
            }
        }
    }

  private:
    bool Has(const DownloadObserver* observer) const;

    std::vector<DownloadObserver*> m_observers;
};
