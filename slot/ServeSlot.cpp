#include "slot/ServeSlot.h"
#include "slot/PowerLineInput.h"

#include <csignal>
#include <memory>

#include "label/LabelFields.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "platform/ports/PortChoice.h"
#include "record/RecordBook.h"
#include "record/ToolVersion.h"
#include "slot/BoxCaptureDir.h"
#include "slot/BoxLogDir.h"
#include "slot/ExitStatus.h"
#include "slot/SlotChannelEnd.h"
#include "slot/SlotSession.h"
#include "slot/UnitDealer.h"

namespace {

// A station sends the configuration at once; a slot that waits longer has no station.
constexpr std::chrono::seconds kConfigBound{10};

void Say(const std::string& line) {
    WriteStderr(ApplicationName() + ": " + EscapeName(line) + "\n");
}

LogFile::Stamps StampsOf(const SlotConfig& c) {
    return c.timestamps ? LogFile::Stamps::Utc : LogFile::Stamps::None;
}

template <typename T>
using Opened = Result<std::unique_ptr<T>>;

int Serve(const SlotConfig& c, SlotScreen& screen, const SlotExtras& extras,
          SlotChannelEnd* channel) {
    // What cannot be set up is said where the operator looks: standard error, and the station.
    const auto refuse = [channel](SetupStep step, const SysFailure& failure) {
        if (channel != nullptr) {
            channel->Ending(kSlotCannotServe, SetupFailureText(step, failure));
        }
        return SetupFailed(step, failure);
    };
    const Result<PortChoice> chosen = ChoosePort(c.port, c.number);
    if (!chosen) {
        return refuse(SetupStep::Port, chosen.Failure());
    }
    const PortChoice& port = *chosen;
    if (port.assigned) {
        Say("COM" + std::to_string(port.number) + " stands for " + port.devicePath);
    }
    // A station keeps the records of its slots; a run of its own keeps them here, and knows
    // before any box is served that its report can be written.
    std::unique_ptr<RecordBook> records;
    if (channel == nullptr) {
        std::unique_ptr<ReportFile> report;
        if (c.report) {
            Opened<ReportFile> opened = ReportFile::Open(*c.report);
            if (!opened) {
                return refuse(SetupStep::Report, opened.Failure());
            }
            report = std::move(*opened);
        }
        records = std::make_unique<RecordBook>(std::move(report), c.made);
    }
    std::unique_ptr<LogFile> logFile;
    if (c.logFile) {
        Opened<LogFile> opened = LogFile::Open(*c.logFile, StampsOf(c));
        if (!opened) {
            return refuse(SetupStep::LogFile, opened.Failure());
        }
        logFile = std::move(*opened);
    }
    std::unique_ptr<BoxLogDir> logDir;
    if (c.logDir) {
        Opened<BoxLogDir> opened = BoxLogDir::Open(*c.logDir, c.label, StampsOf(c));
        if (!opened) {
            return refuse(SetupStep::LogFolder, opened.Failure());
        }
        logDir = std::move(*opened);
    }
    SessionConfig config;
    if (c.boxId) {
        Result<std::shared_ptr<const BoxIdPattern>> pattern = BoxIdPattern::Compile(*c.boxId);
        if (!pattern) {
            return refuse(SetupStep::BoxId, pattern.Failure());
        }
        config.boxIdPattern = *pattern;
    }
    std::unique_ptr<BoxCaptureDir> captures;
    if (c.captureDir) {
        Opened<BoxCaptureDir> opened = BoxCaptureDir::Open(*c.captureDir, c.label, c.captureMax,
                                                           ApplicationName() + " " + kToolVersion);
        if (!opened) {
            return refuse(SetupStep::CaptureFolder, opened.Failure());
        }
        captures = std::move(*opened);
        config.observers.push_back(captures.get());
        config.sinks.push_back(captures.get());
    }
    const std::string device = ResolvedDevicePath(port.devicePath);
    // The verdict line names the slot by its label where it has one.
    BoxBook book(
        (c.label == c.port ? "COM" + std::to_string(port.number) : c.label) + " (" + device + ")",
        std::move(records));
    book.SetProvenance(c.made);
    if (logDir) {
        book.SetLogEnd([&](const BoxRecord& record, const std::string& verdict) {
            return logDir->Finish(record, verdict);
        });
        book.SetLogFileName([&] { return logDir->LastFile(); });
    } else if (logFile) {
        book.SetLogEnd([&](const BoxRecord&, const std::string&) { return logFile->Flush(); });
        book.SetLogFileName([&] { return std::optional<std::string>(logFile->Path()); });
    }
    book.SetRecordSink(extras.recordKept);
    if (c.labelZpl && c.printer) {
        book.SetLabelPrint([&c](const BoxRecord& record) {
            return PrintLabel(*c.labelZpl, *c.printer, record, c.label);
        });
    }
    config.portNumber = port.number;
    config.image = c.image;
    config.ini = c.ini;
    config.debug = c.debug;
    config.loop = c.loop;
    config.count = c.count;
    config.timeoutSeconds = c.timeoutSeconds;
    config.baud = c.baud;
    config.requireWhole = c.requireWhole;
    config.scanRequired = c.scanRequired;
    config.unit = c.unit;
    config.dealer = extras.dealer;
    if (captures) {
        config.unitServed = [cap = captures.get()](const SlotUnit::Serving& s) {
            cap->OnUnitServed(s.overlay->offset, static_cast<std::int64_t>(s.overlay->bytes.size()),
                              s.shown, s.report.servedSha256);
        };
    }
    config.screen = &screen;
    config.slot = SlotOn(c.label, device);
    config.book = &book;
    config.logFile = logFile ? static_cast<WindowObserver*>(logFile.get()) : logDir.get();
    config.keepStoredPort = port.byPath;
    config.requiredSha256 = c.sha256.value_or("");
    // A station's slot tells its station each step, and beats once a second while it lives.
    if (channel != nullptr) {
        config.stationSlot = true;
        config.observers.push_back(channel);
        config.sinks.push_back(channel);
        config.heartbeat = [channel] { channel->Beat(); };
        config.unitReport = [channel](const UnitReport& report) { channel->Unit(report); };
        book.SetSay([channel](const std::string& line) { channel->Say(line); });
    }
    config.sinks.insert(config.sinks.end(), extras.sinks.begin(), extras.sinks.end());
    if (channel != nullptr && !c.powerLine.empty()) {
        config.input = [channel, &c](const SlotInput& input) {
            if (const std::optional<std::string> failed = SwitchPowerLine(c, input)) {
                channel->Say(*failed);
            }
        };
    }
    SlotSession session(config);
    if (channel != nullptr) {
        channel->Listen({[&session] { session.AskFinish(); },
                         [&session] { session.AskStop(SIGTERM); },
                         [&session](const SlotInput& input) { session.AskInput(input); }});
    }
    if (extras.running) {
        extras.running(&session);
    }
    const int status = session.Run();
    if (extras.running) {
        extras.running(nullptr);
    }
    // A single run's unit drawn for a box that never came goes back to the pool.
    if (const std::optional<std::string> lease = session.HeldLease(); lease && extras.dealer) {
        if (Result<void> freed = extras.dealer->Settle(*lease, UnitDealer::Verdict::Free, {});
            !freed) {
            Say("the unit pool cannot take back an unused unit: " + freed.Failure().Describe());
        }
    }
    if (channel != nullptr) {
        channel->Deafen();
        if (session.Refusal() && (status == kSlotWrongImage || status == kSlotCannotServe)) {
            channel->Ending(status, session.Refusal()->Describe());
        }
    } else if (c.loop) {
        const std::string aborted = session.BoxesAborted() > 0
                                        ? ", " + std::to_string(session.BoxesAborted()) + " aborted"
                                        : std::string();
        Say(std::to_string(session.BoxesPassed()) + " box(es) finished");
        Say(std::to_string(session.BoxesPassed()) + " passed, " +
            std::to_string(session.BoxesFailed()) + " failed" + aborted);
    }
    return status;
}

}  // namespace

int ServeSlot(const SlotConfig& config, SlotScreen& screen, const SlotExtras& extras) {
    return Serve(config, screen, extras, nullptr);
}

int ServeStationSlot(int fd, SlotScreen& screen, const std::function<void(SlotSession*)>& running) {
    SlotChannelEnd channel(fd);
    const Result<SlotConfig> config = channel.Open(kConfigBound);
    if (!config) {
        channel.Ending(kSlotCannotServe, config.Failure().Describe());
        Say(config.Failure().Describe());
        return kSlotCannotServe;
    }
    SlotExtras extras;
    extras.running = running;
    return Serve(*config, screen, extras, &channel);
}
