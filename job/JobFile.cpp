#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "capture/CaptureFormat.h"
#include "download/BoxIdScanner.h"
#include "job/Job.h"
#include "job/JobPower.h"
#include "job/JobReader.h"
#include "job/JobUnit.h"
#include "label/LabelFields.h"
#include "label/LabelPrinter.h"
#include "mqtt/MqttUrl.h"
#include "platform/ports/PortChoice.h"
#include "platform/ports/PortMap.h"
#include "station/SlotLabel.h"
#include "store/StoreUrl.h"

namespace {

// A job is a page of settings; anything larger is not one.
constexpr std::size_t kMaxJobBytes = 64 * 1024;
constexpr std::size_t kMaxSlots = 50;  // the COM table's size

using Node = toml::node;
using Reader = JobReader;

bool IsSha256(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(),
                                            [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "COM3" stays a port name; a relative device path starts from the job's folder, as any path.
std::string PortOf(const std::string& given, const std::filesystem::path& folder) {
    if (PortNumberForName(given) || given.front() == '/') {
        return given;
    }
    return (folder / given).lexically_normal().string();
}

Result<void> ReadSlots(const Reader& in, const toml::table& table,
                       const std::filesystem::path& folder, Job& job) {
    std::map<std::string, std::string> seenPorts;
    std::vector<toml::source_index> lines;
    for (auto&& [key, node] : table) {
        const std::string label(key.str());
        if (!IsSlotLabel(label)) {
            return in.At(key.source(),
                         "the slot label '" + label + "' is not 1 to 16 of A-Z a-z 0-9 _ . -");
        }
        std::optional<SlotSwitch> power;
        Result<std::string> port = std::string();
        if (const toml::table* given = node.as_table()) {
            if (Result<void> read = ReadSlotTable(in, label, *given, *port, power); !read) {
                return read.Failure();
            }
        } else {
            port = in.Text("the slot " + label, node);
        }
        if (!port) {
            return port.Failure();
        }
        const std::string path = PortOf(*port, folder);
        const std::string device = PortDevice(path);
        const auto [at, fresh] = seenPorts.emplace(device, label);
        if (!fresh) {
            return in.At(node.source(), "the slots " + at->second + " and " + label +
                                            " name the same port (" + device + ")");
        }
        job.slots.push_back({label, path, power, static_cast<int>(key.source().begin.line)});
        lines.push_back(key.source().begin.line);
    }
    // The file's order, not the table's sorted one: A2 after A1, not after A16.
    std::vector<std::size_t> order(job.slots.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return lines[a] < lines[b]; });
    std::vector<JobSlot> inFileOrder;
    for (const std::size_t i : order) {
        inFileOrder.push_back(job.slots[i]);
    }
    job.slots = std::move(inFileOrder);
    if (job.slots.empty()) {
        return in.At(table.source(), "[slots] names no slot (LABEL = \"PORT\")");
    }
    if (job.slots.size() > kMaxSlots) {
        return in.At(table.source(), "[slots] names more than " + std::to_string(kMaxSlots));
    }
    return {};
}

// One key's effect on the job; the keys it knows are the ones listed.
using KeyReader = std::function<Result<void>(const Reader&, const Node&, Job&)>;

template <typename T, typename Get>
KeyReader Into(std::optional<T> Job::*field, Get get) {
    return [field, get](const Reader& in, const Node& node, Job& job) -> Result<void> {
        auto value = get(in, node);
        if (!value) {
            return value.Failure();
        }
        job.*field = *value;
        return {};
    };
}

// A key that takes one of two words: `flag` is set for `yes`; either word is said with what it
// does (`yesMeans`, `noMeans`) when another is given.
KeyReader Choice(const char* key, const char* yes, const char* yesMeans, const char* no,
                 const char* noMeans, bool& (*flag)(Job&)) {
    return [=](const Reader& in, const Node& n, Job& job) -> Result<void> {
        Result<std::string> word = in.Text(key, n);
        if (!word) {
            return word.Failure();
        }
        if (*word != yes && *word != no) {
            return in.At(n.source(), std::string(key) + " takes \"" + yes + "\" (" + yesMeans +
                                         ") or \"" + no + "\" (" + noMeans + "), not '" + *word +
                                         "'");
        }
        flag(job) = *word == yes;
        return {};
    };
}

const std::map<std::string, KeyReader>& Keys() {
    static const std::map<std::string, KeyReader> keys = [] {
        std::map<std::string, KeyReader> k;
        const auto text = [](const char* key) {
            return [key](const Reader& in, const Node& n) { return in.Text(key, n); };
        };
        const auto path = [](const char* key) {
            return [key](const Reader& in, const Node& n) { return in.Path(key, n); };
        };
        k["name"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> name = in.Text("name", n);
            if (!name) {
                return name.Failure();
            }
            job.name = *name;
            return {};
        };
        k["image"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> image = in.Path("image", n);
            if (!image) {
                return image.Failure();
            }
            job.image = *image;
            return {};
        };
        k["sha256"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> hash = in.Text("sha256", n);
            if (!hash) {
                return hash.Failure();
            }
            const std::optional<std::string> hex = Sha256Hex(*hash);
            if (!hex) {
                return in.At(n.source(), "sha256 takes all 64 hex digits of the image's SHA-256");
            }
            job.sha256 = *hex;
            return {};
        };
        k["station"] = Into(&Job::station, text("station"));
        k["report"] = Into(&Job::report, path("report"));
        k["log_dir"] = Into(&Job::logDir, path("log_dir"));
        k["capture"] = Into(&Job::capture, path("capture"));
        k["mqtt_ca"] = Into(&Job::mqttCa, path("mqtt_ca"));
        k["mqtt_password_file"] = Into(&Job::mqttPasswordFile, path("mqtt_password_file"));
        k["timeout"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            // A day is far beyond any box, as on the command line.
            Result<std::int64_t> seconds = in.Whole("timeout", n, 0, 86400);
            if (!seconds) {
                return seconds.Failure();
            }
            job.timeoutSeconds = static_cast<int>(*seconds);
            return {};
        };
        k["capture_max"] = Into(&Job::captureMax, [](const Reader& in, const Node& n) {
            return in.Whole("capture_max", n, kCaptureMaxLeast, std::int64_t{1} << 40);
        });
        k["box_id"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> pattern = in.Text("box_id", n);
            if (!pattern) {
                return pattern.Failure();
            }
            if (auto compiled = BoxIdPattern::Compile(*pattern); !compiled) {
                return in.At(n.source(), compiled.Failure().reason);
            }
            job.boxId = *pattern;
            return {};
        };
        k["mqtt"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> url = in.Text("mqtt", n);
            if (!url) {
                return url.Failure();
            }
            if (Result<MqttUrl> parsed = ParseMqttUrl(*url); !parsed) {
                return in.At(n.source(), parsed.Failure().Describe());
            }
            job.mqtt = *url;
            return {};
        };
        k["db"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> text = in.Text("db", n);
            if (!text) {
                return text.Failure();
            }
            Result<StoreUrl> url = ParseStoreUrl(*text);
            if (!url) {
                return in.At(n.source(), url.Failure().reason);
            }
            const StoreUrl from = url->From(in.Folder().string());
            job.db = from.kind == StoreUrl::Kind::Sqlite ? from.shown : from.target;
            return {};
        };
        k["baud"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::int64_t> baud = in.Whole("baud", n, kLeastBaud, kMostBaud);
            if (!baud) {
                return baud.Failure();
            }
            job.baud = static_cast<std::uint32_t>(*baud);
            return {};
        };
        k["coverage"] = Choice("coverage", "whole", "every byte of the image sent", "asked",
                               "what the box asks for, the default",
                               [](Job& job) -> bool& { return job.requireWhole; });
        k["scan"] = Choice("scan", "required", "no box loads before its label is scanned", "none",
                           "the default", [](Job& job) -> bool& { return job.scan.required; });
        k["scan_prefix"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> prefix = in.Text("scan_prefix", n);
            if (!prefix) {
                return prefix.Failure();
            }
            const bool printable = std::all_of(prefix->begin(), prefix->end(), [](char c) {
                return static_cast<unsigned char>(c) > ' ' && c != 0x7F;
            });
            if (prefix->empty() || prefix->size() > 32 || !printable) {
                return in.At(n.source(),
                             "scan_prefix is what a slot's own label starts with: 1 to 32 "
                             "characters without blanks (\"SLOT:\" by default)");
            }
            job.scan.slotPrefix = *prefix;
            return {};
        };
        k["repeats"] = Choice("repeats", "block", "a box that passed before gets no byte and fails",
                              "warn", "it is loaded and flagged, the default",
                              [](Job& job) -> bool& { return job.scan.blockRepeats; });
        k["label"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> given = in.Text("label", n);
            if (!given) {
                return given.Failure();
            }
            const std::string path = (in.Folder() / *given).lexically_normal().string();
            std::ifstream file(path, std::ios::binary);
            std::string text(kMaxJobBytes + 1, '\0');
            file.read(text.data(), static_cast<std::streamsize>(text.size()));
            if (!file && !file.eof()) {
                return in.At(n.source(), "label: " + DescribeErrno("open", path, errno));
            }
            text.resize(static_cast<std::size_t>(file.gcount()));
            if (text.size() > kMaxJobBytes) {
                return in.At(n.source(), "label: " + *given + " is past 64 KiB; no label is");
            }
            if (Result<LabelTemplate> parsed = LabelTemplate::Parse(text, *given); !parsed) {
                return in.At(n.source(), "label: " + parsed.Failure().Describe());
            }
            job.labelFile = *given;
            job.labelZpl = text;
            job.labelLine = static_cast<int>(n.source().begin.line);
            return {};
        };
        k["printer"] = [](const Reader& in, const Node& n, Job& job) -> Result<void> {
            Result<std::string> text = in.Text("printer", n);
            if (!text) {
                return text.Failure();
            }
            Result<LabelPrinter> printer = ParseLabelPrinter(*text, in.Folder());
            if (!printer) {
                return in.At(n.source(), printer.Failure().reason + ", not '" + *text + "'");
            }
            job.printer = LabelPrinterText(*printer);
            job.printerLine = static_cast<int>(n.source().begin.line);
            return {};
        };
        for (const char* retry : {"retries", "retry_on", "take_out_after"}) {
            k[retry] = [retry](const Reader& in, const Node& n, Job& job) {
                return ReadRetryKey(in, retry, n, job);
            };
        }
        for (const char* flag : {"timestamps", "debug"}) {
            k[flag] = [flag](const Reader& in, const Node& n, Job& job) -> Result<void> {
                Result<bool> on = in.Flag(flag, n);
                if (!on) {
                    return on.Failure();
                }
                (std::string(flag) == "debug" ? job.debug : job.timestamps) = *on;
                return {};
            };
        }
        return k;
    }();
    return keys;
}

std::string KnownKeys() {
    std::string names;
    for (const auto& [name, reader] : Keys()) {
        names += name + ", ";
    }
    return names + "[slots], [unit], and [power]";
}

}  // namespace

std::optional<std::string> Sha256Hex(const std::string& text) {
    return IsSha256(text) ? std::optional(Lower(text)) : std::nullopt;
}

Result<Job> ParseJob(const std::string& text, const std::string& file) {
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::absolute(std::filesystem::path(file), error).parent_path();
    const Reader in(file, folder);
    toml::table root;
    try {
        root = toml::parse(text, file);
    } catch (const toml::parse_error& error) {
        return in.At(error.source(), std::string(error.description()));
    }
    Job job;
    job.file = (folder / std::filesystem::path(file).filename()).string();
    bool slots = false;
    for (auto&& [key, node] : root) {
        const std::string name(key.str());
        if (name == "unit" && node.is_table()) {
            if (Result<void> read = ReadJobUnit(in, *node.as_table(), job); !read) {
                return read.Failure();
            }
            continue;
        }
        if (name == "power" && node.is_table()) {
            if (Result<void> read = ReadJobPower(in, *node.as_table(), job); !read) {
                return read.Failure();
            }
            continue;
        }
        if (name == "slots" && node.is_table()) {
            if (Result<void> read = ReadSlots(in, *node.as_table(), folder, job); !read) {
                return read.Failure();
            }
            slots = true;
            continue;
        }
        const auto reader = Keys().find(name);
        if (reader == Keys().end()) {
            return in.At(key.source(), "unknown key '" + name + "'; a job knows " + KnownKeys());
        }
        if (Result<void> read = reader->second(in, node, job); !read) {
            return read.Failure();
        }
    }
    if (job.name.empty()) {
        return in.Missing("the job has no name (name = \"...\")");
    }
    if (job.image.empty()) {
        return in.Missing("the job names no image (image = \"FILE\")");
    }
    if (job.sha256.empty()) {
        return in.Missing("the job gives no sha256 for its image (sha256 = \"64 hex digits\")");
    }
    if (!slots) {
        return in.Missing("the job has no [slots] (LABEL = \"PORT\", one line each)");
    }
    if (job.timestamps && !job.logDir) {
        return in.Missing("timestamps goes with log_dir");
    }
    if (job.labelZpl.has_value() != job.printer.has_value()) {
        return job.labelZpl ? in.AtLine(job.labelLine, "label goes with printer = \"...\"")
                            : in.AtLine(job.printerLine, "printer goes with label = \"FILE\"");
    }
    if (job.labelZpl) {
        // The [unit] comes after the keys in a TOML file, so its fields are known only now.
        const Result<LabelTemplate> label = LabelTemplate::Parse(*job.labelZpl, *job.labelFile);
        if (Result<void> known =
                CheckLabelFields(*label, *job.labelFile, job.unit ? &*job.unit : nullptr);
            !known) {
            return in.AtLine(job.labelLine, "label: " + known.Failure().Describe());
        }
    }
    if (job.scan.blockRepeats && !job.scan.required && !job.boxId) {
        return in.Missing("repeats = \"block\" needs the box's id: scan = \"required\", or box_id");
    }
    if (Result<void> power = CheckJobPower(in, job); !power) {
        return power.Failure();
    }
    if (Result<void> fits = CheckUnitInImage(in, job); !fits) {
        return fits.Failure();
    }
    return job;
}

Result<Job> ReadJob(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ErrnoFailure("open", path, errno);
    }
    std::string text(kMaxJobBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        return ErrnoFailure("read", path, errno);
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxJobBytes) {
        return Refusal(path, "a job file is at most 64 KiB; this is not one");
    }
    return ParseJob(text, path);
}
