#include "download/SessionEventCodec.h"

#include <iterator>

#include <cstdint>

#include "download/BoxSession.h"

namespace {

// The events' kinds, as "event" names them.
constexpr const char* kStarted = "started";
constexpr const char* kFirstFrame = "first-frame";
constexpr const char* kRequest = "request";
constexpr const char* kTime = "time";
constexpr const char* kSpoke = "spoke";
constexpr const char* kState = "state";
constexpr const char* kEnded = "ended";

std::optional<SysStatus> StatusOf(const Json& status) {
    if (status.is_string()) {
        return SysStatusFromCode(status.get<std::string>());
    }
    // The first captures wrote the status as its number in the order SysStatus had then; the
    // table keeps that order, whatever the enum's order becomes.
    static constexpr SysStatus kFirstOrder[] = {
        SysStatus::Ok,       SysStatus::InvalidSettings, SysStatus::NotFound, SysStatus::Busy,
        SysStatus::NoAccess, SysStatus::NotATty,         SysStatus::Rejected, SysStatus::Lost,
        SysStatus::NoSpace,  SysStatus::Stalled,         SysStatus::Failed,   SysStatus::Cancelled,
        SysStatus::TimedOut};
    if (status.is_number_integer()) {
        const std::int64_t n = status.get<std::int64_t>();
        if (n > 0 && n < static_cast<std::int64_t>(std::size(kFirstOrder))) {
            return kFirstOrder[n];
        }
    }
    return std::nullopt;
}

SysFailure FailureAt(const Json& json, const char* key) {
    const auto it = json.find(key);
    return it == json.end() ? SysFailure() : SysFailureFromJson(*it);
}

struct Writer {
    Json operator()(const DownloadStarted& s) const {
        return Json{{"event", kStarted},
                    {"image", JsonText(s.imagePath)},
                    {"size", s.imageSize},
                    {"sha256", JsonText(s.imageSha256)},
                    {"port", JsonText(s.portName)},
                    {"device", JsonText(s.device)},
                    {"baud", s.baud}};
    }
    Json operator()(const FirstFrameSeen&) const { return Json{{"event", kFirstFrame}}; }
    Json operator()(const RequestAnswered& r) const {
        return Json{{"event", kRequest},
                    {"offset", r.offset},
                    {"length", r.length},
                    {"sent", r.sent},
                    {"position", r.position},
                    {"size", r.imageSize},
                    {"bytes", r.bytesSent},
                    {"distinct_sent", r.distinctSent},
                    {"distinct_asked", r.distinctAsked},
                    {"requests", r.requests}};
    }
    Json operator()(const TimeAsked&) const { return Json{{"event", kTime}}; }
    Json operator()(const BoxSpoke& s) const {
        Json json{{"event", kSpoke}};
        if (s.boxId) {
            json["box_id"] = JsonText(*s.boxId);
        }
        return json;
    }
    Json operator()(const SlotStateChanged& c) const {
        return Json{
            {"event", kState}, {"state", SlotStateCode(c.state)}, {"why", SysFailureJson(c.why)}};
    }
    Json operator()(const DownloadEnded& e) const {
        return Json{{"event", kEnded},
                    {"reason", EndReasonCode(e.reason)},
                    {"failure", SysFailureJson(e.failure)},
                    {"silence", e.silence.count()}};
    }
};

struct Teller {
    BoxSession& session;
    void operator()(const DownloadStarted& s) const { session.OnStarted(s); }
    void operator()(const FirstFrameSeen&) const { session.OnFirstFrame(); }
    void operator()(const RequestAnswered& r) const { session.OnRequestAnswered(r); }
    void operator()(const TimeAsked&) const { session.OnTimeAsked(); }
    void operator()(const BoxSpoke& s) const {
        if (s.boxId) {
            session.OnBoxIdentified(*s.boxId);
        }
        session.OnBoxSpoke();
    }
    void operator()(const SlotStateChanged& c) const { session.SetState(c.state, c.why); }
    void operator()(const DownloadEnded& e) const { session.OnEnded(e); }
};

}  // namespace

Json SysFailureJson(const SysFailure& failure) {
    if (!failure.Failed()) {
        return nullptr;
    }
    return Json{{"status", SysStatusCode(failure.result.status)},
                {"errno", failure.result.sysErrno},
                {"text", JsonText(failure.Describe())}};
}

SysFailure SysFailureFromJson(const Json& json) {
    if (!json.is_object()) {
        return {};
    }
    const auto status = json.find("status");
    const std::optional<SysStatus> known = status == json.end() ? std::nullopt : StatusOf(*status);
    if (!known || *known == SysStatus::Ok) {
        return {};
    }
    return SysFailure{SysResult{*known, "", static_cast<int>(JsonWholeAt(json, "errno"))}, "",
                      JsonStringAt(json, "text")};
}

Json SessionEventJson(const SessionEvent& event) {
    return std::visit(Writer{}, event);
}

std::optional<SessionEvent> SessionEventFromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    const std::string kind = JsonStringAt(json, "event");
    if (kind == kStarted) {
        DownloadStarted s;
        s.imagePath = JsonStringAt(json, "image");
        s.imageSize = JsonWholeAt(json, "size");
        s.imageSha256 = JsonStringAt(json, "sha256");
        s.portName = JsonStringAt(json, "port");
        s.device = JsonStringAt(json, "device");
        // Slots and captures from before the rate could be chosen ran at the default.
        const std::int64_t baud = JsonWholeAt(json, "baud", 115200);
        s.baud = baud > 0 && baud <= UINT32_MAX ? static_cast<std::uint32_t>(baud) : 115200;
        s.when = std::chrono::system_clock::now();
        return s;
    }
    if (kind == kFirstFrame) {
        return FirstFrameSeen{};
    }
    if (kind == kRequest) {
        RequestAnswered r;
        r.offset = static_cast<std::uint32_t>(JsonWholeAt(json, "offset"));
        r.length = static_cast<std::uint16_t>(JsonWholeAt(json, "length"));
        r.sent = JsonWholeAt(json, "sent");
        r.position = JsonWholeAt(json, "position");
        r.imageSize = JsonWholeAt(json, "size");
        r.bytesSent = JsonWholeAt(json, "bytes");
        r.distinctSent = JsonWholeAt(json, "distinct_sent");
        r.distinctAsked = JsonWholeAt(json, "distinct_asked");
        r.requests = JsonWholeAt(json, "requests");
        return r;
    }
    if (kind == kTime) {
        return TimeAsked{};
    }
    if (kind == kSpoke) {
        BoxSpoke s;
        if (const auto id = json.find("box_id"); id != json.end() && id->is_string()) {
            s.boxId = id->get<std::string>();
        }
        return s;
    }
    if (kind == kState) {
        SlotStateChanged c;
        if (!SlotStateFromCode(JsonStringAt(json, "state"), &c.state)) {
            return std::nullopt;
        }
        c.why = FailureAt(json, "why");
        return c;
    }
    if (kind == kEnded) {
        DownloadEnded e;
        if (!EndReasonFromCode(JsonStringAt(json, "reason"), &e.reason)) {
            return std::nullopt;
        }
        e.failure = FailureAt(json, "failure");
        e.silence = std::chrono::seconds(JsonWholeAt(json, "silence"));
        return e;
    }
    return std::nullopt;
}

void ApplySessionEvent(const SessionEvent& event, BoxSession& session) {
    std::visit(Teller{session}, event);
}
