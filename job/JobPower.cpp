#include "job/JobPower.h"

#include <algorithm>
#include <map>

#include "station/RetryPolicy.h"

namespace {

using Node = toml::node;

// A number or a string, as an outlet's port may be either ("1", 1, "A3").
Result<std::string> PortText(const JobReader& in, const std::string& key, const Node& node) {
    if (node.type() == toml::node_type::integer) {
        Result<std::int64_t> n = in.Whole(key, node, 0, 1000000);
        if (!n) {
            return n.Failure();
        }
        return std::to_string(*n);
    }
    return in.Text(key, node);
}

Result<std::vector<std::string>> Words(const JobReader& in, const std::string& key,
                                       const Node& node) {
    const toml::array* array = node.as_array();
    if (array == nullptr || array->empty()) {
        return in.At(node.source(), key + " takes a list of strings in brackets: [\"...\", ...]");
    }
    std::vector<std::string> words;
    for (const Node& item : *array) {
        Result<std::string> word = in.Text(key, item);
        if (!word) {
            return word.Failure();
        }
        words.push_back(*word);
    }
    return words;
}

// The placeholders a command's template may hold; any other brace is a mistake.
Result<void> CheckTemplate(const JobReader& in, const Node& node,
                           const std::vector<std::string>& argv) {
    for (const std::string& arg : argv) {
        for (std::size_t at = arg.find('{'); at != std::string::npos; at = arg.find('{', at + 1)) {
            const std::size_t end = arg.find('}', at);
            const std::string name =
                end == std::string::npos ? arg.substr(at) : arg.substr(at, end - at + 1);
            if (name != "{label}" && name != "{port}" && name != "{action}") {
                return in.At(node.source(),
                             "command knows {label}, {port} and {action}, not '" + name + "'");
            }
        }
    }
    return {};
}

const std::map<std::string, PowerBackend>& Backends() {
    static const std::map<std::string, PowerBackend> backends{
        {"pdudaemon", PowerBackend::Pdudaemon},
        {"uhubctl", PowerBackend::Uhubctl},
        {"command", PowerBackend::Command},
        {"dtr", PowerBackend::Dtr},
        {"rts", PowerBackend::Rts}};
    return backends;
}

}  // namespace

Result<void> ReadJobPower(const JobReader& in, const toml::table& table, Job& job) {
    PowerPlan plan;
    bool backend = false;
    for (auto&& [key, node] : table) {
        const std::string name(key.str());
        if (name == "backend") {
            Result<std::string> word = in.Text(name, node);
            if (!word) {
                return word.Failure();
            }
            const auto it = Backends().find(*word);
            if (it == Backends().end()) {
                return in.At(node.source(),
                             "backend takes \"pdudaemon\", \"uhubctl\", "
                             "\"command\", \"dtr\" or \"rts\", not '" +
                                 *word + "'");
            }
            plan.backend = it->second;
            backend = true;
        } else if (name == "url") {
            Result<std::string> url = in.Text(name, node);
            if (!url) {
                return url.Failure();
            }
            if (!url->starts_with("http://")) {
                return in.At(node.source(),
                             "url takes the power daemon's address, "
                             "\"http://HOST:PORT\"");
            }
            plan.url = *url;
        } else if (name == "command") {
            Result<std::vector<std::string>> argv = Words(in, name, node);
            if (!argv) {
                return argv.Failure();
            }
            if (Result<void> known = CheckTemplate(in, node, *argv); !known) {
                return known;
            }
            plan.command = *argv;
        } else if (name == "on_when") {
            Result<std::string> word = in.Text(name, node);
            if (!word) {
                return word.Failure();
            }
            if (*word != "asserted" && *word != "cleared") {
                return in.At(node.source(),
                             "on_when takes \"asserted\" or \"cleared\", not '" + *word + "'");
            }
            plan.onWhenAsserted = *word == "asserted";
        } else if (name == "off_seconds") {
            Result<std::int64_t> seconds = in.Whole(name, node, 0, 3600);
            if (!seconds) {
                return seconds.Failure();
            }
            plan.offTime = std::chrono::seconds(*seconds);
        } else if (name == "timeout") {
            Result<std::int64_t> seconds = in.Whole(name, node, 1, 600);
            if (!seconds) {
                return seconds.Failure();
            }
            plan.bound = std::chrono::seconds(*seconds);
        } else if (name == "on_start") {
            Result<bool> on = in.Flag(name, node);
            if (!on) {
                return on.Failure();
            }
            plan.onStart = *on;
        } else if (name == "off_after") {
            Result<std::string> word = in.Text(name, node);
            if (!word) {
                return word.Failure();
            }
            if (*word != "never" && *word != "fail" && *word != "always") {
                return in.At(node.source(),
                             "off_after takes \"never\", \"fail\" or \"always\", "
                             "not '" +
                                 *word + "'");
            }
            plan.offAfter = *word == "never"  ? PowerOffAfter::Never
                            : *word == "fail" ? PowerOffAfter::Fail
                                              : PowerOffAfter::Always;
        } else {
            return in.At(key.source(), "unknown key '" + name +
                                           "' in [power]; it knows backend, url, command, "
                                           "on_when, off_seconds, timeout, on_start, off_after");
        }
    }
    if (!backend) {
        return in.At(table.source(), "[power] names no backend (backend = \"pdudaemon\", ...)");
    }
    if (plan.backend == PowerBackend::Pdudaemon && plan.url.empty()) {
        return in.At(table.source(), "[power] with backend \"pdudaemon\" needs its url");
    }
    if (plan.backend == PowerBackend::Command && plan.command.empty()) {
        return in.At(table.source(),
                     "[power] with backend \"command\" needs command = [\"PROGRAM\", ...]");
    }
    job.power = plan;
    job.powerLine = table.source().begin.line;
    return {};
}

Result<void> ReadSlotTable(const JobReader& in, const std::string& label, const toml::table& table,
                           std::string& port, std::optional<SlotSwitch>& power) {
    for (auto&& [key, node] : table) {
        const std::string name(key.str());
        if (name == "port") {
            Result<std::string> text = in.Text("the slot " + label + "'s port", node);
            if (!text) {
                return text.Failure();
            }
            port = *text;
        } else if (name == "power") {
            const toml::table* outlet = node.as_table();
            if (outlet == nullptr) {
                return in.At(node.source(), "the slot " + label +
                                                "'s power takes a table: { hostname = \"...\", "
                                                "port = N } or { hub = \"...\", port = N }");
            }
            SlotSwitch s;
            for (auto&& [part, value] : *outlet) {
                const std::string what(part.str());
                if (what != "hostname" && what != "hub" && what != "port") {
                    return in.At(part.source(), "unknown key '" + what + "' in the slot " + label +
                                                    "'s power; it knows hostname, hub "
                                                    "and port");
                }
                Result<std::string> text = what == "port" ? PortText(in, "power's port", value)
                                                          : in.Text("power's " + what, value);
                if (!text) {
                    return text.Failure();
                }
                if (what == "hostname") {
                    s.hostname = *text;
                } else if (what == "hub") {
                    s.hub = *text;
                } else {
                    s.port = *text;
                }
            }
            power = s;
        } else {
            return in.At(key.source(), "unknown key '" + name + "' in the slot " + label +
                                           "; it knows port and power");
        }
    }
    if (port.empty()) {
        return in.At(table.source(), "the slot " + label + " names no port (port = \"...\")");
    }
    return {};
}

Result<void> ReadRetryKey(const JobReader& in, const std::string& key, const toml::node& node,
                          Job& job) {
    if (key == "retries") {
        Result<std::int64_t> n = in.Whole(key, node, 0, 10);
        if (!n) {
            return n.Failure();
        }
        job.retry.retries = static_cast<int>(*n);
        job.retriesLine = node.source().begin.line;
        return {};
    }
    if (key == "take_out_after") {
        Result<std::int64_t> n = in.Whole(key, node, 0, 1000);
        if (!n) {
            return n.Failure();
        }
        job.retry.takeOutAfter = static_cast<int>(*n);
        return {};
    }
    const toml::array* array = node.as_array();
    if (array == nullptr || array->empty()) {
        return in.At(node.source(),
                     "retry_on takes a list of reason codes: [\"box-stalled\", ...]");
    }
    const std::vector<std::string>& known = KnownReasonCodes();
    for (const Node& item : *array) {
        Result<std::string> code = in.Text(key, item);
        if (!code) {
            return code.Failure();
        }
        if (std::find(known.begin(), known.end(), *code) == known.end()) {
            std::string list;
            for (const std::string& word : known) {
                list += (list.empty() ? "" : ", ") + word;
            }
            return in.At(item.source(), "retry_on: no record has the reason code '" + *code +
                                            "'; the codes are " + list);
        }
        job.retry.retryOn.push_back(*code);
    }
    return {};
}

Result<void> CheckJobPower(const JobReader& in, const Job& job) {
    if (job.retry.retries > 0 && job.retry.retryOn.empty()) {
        return in.AtLine(job.retriesLine, "retries goes with retry_on = [reason codes]");
    }
    for (const JobSlot& slot : job.slots) {
        if (!job.power) {
            if (slot.power) {
                return in.AtLine(
                    slot.line,
                    "the slot " + slot.label + " names a power outlet, but the job has no [power]");
            }
            continue;
        }
        const PowerBackend backend = job.power->backend;
        if (job.power->BySlot()) {
            continue;  // the slot's own port's line: nothing more to name
        }
        const SlotSwitch s = slot.power.value_or(SlotSwitch{});
        const bool named = backend == PowerBackend::Pdudaemon
                               ? !s.hostname.empty() && !s.port.empty()
                           : backend == PowerBackend::Uhubctl ? !s.hub.empty() && !s.port.empty()
                                                              : !s.port.empty();
        if (!named) {
            const char* wanted =
                backend == PowerBackend::Pdudaemon ? "power = { hostname = \"PDU\", port = N }"
                : backend == PowerBackend::Uhubctl ? "power = { hub = \"LOCATION\", port = N }"
                                                   : "power = { port = \"...\" }";
            return in.AtLine(slot.line, "the slot " + slot.label +
                                            " needs its outlet for [power] (" + wanted + ")");
        }
    }
    return {};
}
