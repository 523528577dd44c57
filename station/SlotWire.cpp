#include "station/SlotWire.h"

#include <cstdint>

#include "download/BoxSession.h"

namespace {

// Paths are any bytes: what is not UTF-8 is shown as U+FFFD, as the records show it.
std::string Dump(const Json& json) {
    return JsonLine(json);
}

Json FailureJson(const SysFailure& failure) {
    if (!failure.Failed()) {
        return nullptr;
    }
    return Json{{"status", static_cast<int>(failure.result.status)},
                {"errno", failure.result.sysErrno},
                {"text", failure.Describe()}};
}

std::int64_t Whole(const Json& json, const char* key) {
    return JsonWholeAt(json, key);
}

std::string Text(const Json& json, const char* key) {
    return JsonStringAt(json, key);
}

SysFailure FailureOf(const Json& json, const char* key) {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_object()) {
        return {};
    }
    const std::int64_t status = Whole(*it, "status");
    if (status <= 0 || status > static_cast<std::int64_t>(SysStatus::TimedOut)) {
        return {};
    }
    // The description as the slot gave it: the station shows it, it does not call again.
    return SysFailure{
        SysResult{static_cast<SysStatus>(status), "", static_cast<int>(Whole(*it, "errno"))}, "",
        Text(*it, "text")};
}

}  // namespace

std::string EncodeStarted(const DownloadStarted& s) {
    return Dump(Json{{"event", "started"},
                     {"image", s.imagePath},
                     {"size", s.imageSize},
                     {"sha256", s.imageSha256},
                     {"port", s.portName},
                     {"device", s.device}});
}

std::string EncodeRequest(const RequestAnswered& r) {
    return Dump(Json{{"event", "request"},
                     {"offset", r.offset},
                     {"length", r.length},
                     {"sent", r.sent},
                     {"position", r.position},
                     {"size", r.imageSize},
                     {"bytes", r.bytesSent},
                     {"distinct_sent", r.distinctSent},
                     {"distinct_asked", r.distinctAsked},
                     {"requests", r.requests}});
}

std::string EncodeState(SlotState state, const SysFailure& why) {
    return Dump(
        Json{{"event", "state"}, {"state", SlotStateCode(state)}, {"why", FailureJson(why)}});
}

std::string EncodeEvent(const char* event) {
    return Dump(Json{{"event", event}});
}

std::string EncodeSay(const std::string& text) {
    return Dump(Json{{"event", "say"}, {"text", JsonText(text)}});
}

std::string EncodeEnded(const DownloadEnded& ended, const Json& record) {
    return Dump(Json{{"event", "ended"},
                     {"reason", EndReasonCode(ended.reason)},
                     {"failure", FailureJson(ended.failure)},
                     {"silence", ended.silence.count()},
                     {"record", record}});
}

std::optional<SlotLine> DecodeSlotLine(const std::string& line) {
    const std::optional<Json> parsed = ParseJsonObject(line);
    if (!parsed) {
        return std::nullopt;
    }
    const Json& json = *parsed;
    const std::string event = Text(json, "event");
    SlotLine out;
    if (event == "started") {
        out.kind = SlotLine::Kind::Started;
        out.started.imagePath = Text(json, "image");
        out.started.imageSize = Whole(json, "size");
        out.started.imageSha256 = Text(json, "sha256");
        out.started.portName = Text(json, "port");
        out.started.device = Text(json, "device");
        out.started.when = std::chrono::system_clock::now();
    } else if (event == "first-frame") {
        out.kind = SlotLine::Kind::FirstFrame;
    } else if (event == "request") {
        out.kind = SlotLine::Kind::Request;
        RequestAnswered& r = out.request;
        r.offset = static_cast<std::uint32_t>(Whole(json, "offset"));
        r.length = static_cast<std::uint16_t>(Whole(json, "length"));
        r.sent = Whole(json, "sent");
        r.position = Whole(json, "position");
        r.imageSize = Whole(json, "size");
        r.bytesSent = Whole(json, "bytes");
        r.distinctSent = Whole(json, "distinct_sent");
        r.distinctAsked = Whole(json, "distinct_asked");
        r.requests = Whole(json, "requests");
    } else if (event == "time") {
        out.kind = SlotLine::Kind::Time;
    } else if (event == "state") {
        out.kind = SlotLine::Kind::State;
        if (!SlotStateFromCode(Text(json, "state"), &out.state)) {
            return std::nullopt;
        }
        out.why = FailureOf(json, "why");
    } else if (event == "say") {
        out.kind = SlotLine::Kind::Say;
        out.text = Text(json, "text");
    } else if (event == "ended") {
        out.kind = SlotLine::Kind::Ended;
        if (!EndReasonFromCode(Text(json, "reason"), &out.ended.reason)) {
            return std::nullopt;
        }
        out.ended.failure = FailureOf(json, "failure");
        out.ended.silence = std::chrono::seconds(Whole(json, "silence"));
        const auto record = json.find("record");
        if (record != json.end() && record->is_object()) {
            out.record = *record;
        }
    } else {
        return std::nullopt;
    }
    return out;
}

void ApplySlotLine(const SlotLine& line, BoxSession& session) {
    switch (line.kind) {
        case SlotLine::Kind::Started:
            session.OnStarted(line.started);
            break;
        case SlotLine::Kind::FirstFrame:
            session.OnFirstFrame();
            break;
        case SlotLine::Kind::Request:
            session.OnRequestAnswered(line.request);
            break;
        case SlotLine::Kind::Time:
            session.OnTimeAsked();
            break;
        case SlotLine::Kind::State:
            session.SetState(line.state, line.why);
            break;
        case SlotLine::Kind::Ended:
            session.OnEnded(line.ended);
            break;
        case SlotLine::Kind::Say:
            break;  // for the operator, not the session
    }
}
