#include "hosts/cli/RecordQuery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include "job/Job.h"
#include "platform/base/Eintr.h"
#include "platform/codepage/ShownText.h"
#include "record/BoxRecordCodec.h"
#include "slot/ExitStatus.h"
#include "store/QueryTime.h"
#include "store/RecordExport.h"
#include "store/RecordStore.h"

namespace {

constexpr int kNoneFound = 1;

// Standard output in pieces of 64 KiB, each written whole before the next is made.
class Out {
  public:
    ~Out() { Flush(); }
    void Add(const std::string& text) {
        m_buffer += text;
        if (m_buffer.size() >= 65536) {
            Flush();
        }
    }
    void Flush() {
        std::size_t done = 0;
        while (done < m_buffer.size() && m_open) {
            const ssize_t n = RetryOnEintr([&] {
                return write(STDOUT_FILENO, m_buffer.data() + done, m_buffer.size() - done);
            });
            if (n <= 0) {
                m_open = false;  // the reader went away (| head): nothing more to say
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        m_buffer.clear();
    }
    bool Open() const { return m_open; }

  private:
    std::string m_buffer;
    bool m_open = true;
};

std::string Upper(std::string word) {
    for (char& c : word) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return word;
}

std::string Shown(const Json& record, const char* key) {
    const auto it = record.find(key);
    if (it == record.end() || it->is_null()) {
        return "-";
    }
    return EscapeName(it->is_string() ? it->get<std::string>() : JsonLine(*it));
}

// One record for the operator: the verdict on the first line, the rest indented below it.
std::string RecordText(const Json& r) {
    const double seconds = JsonNumberAt(r, "seconds");
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", std::isfinite(seconds) ? seconds : 0.0);
    const std::string reason = JsonStringAt(r, "reason");
    // The verdict as the record's own reader takes it, not as text that looks like one.
    const std::optional<BoxRecord> typed = BoxRecordFromJson(r);
    const std::string verdict = typed ? Upper(std::string(BoxResultWord(typed->result))) : "-";
    std::string text = Shown(r, "start") + "  " + verdict +
                       (reason.empty() ? "" : " " + EscapeName(reason)) + "\n";
    text += "  station " + Shown(r, "station") + ", slot " + Shown(r, "slot") + " (" +
            Shown(r, "device") + "), attempt " + std::to_string(JsonWholeAt(r, "attempt", 1)) +
            ", " + time + "\n";
    text += "  image   " + Shown(r, "image") + ", sha256 " + Shown(r, "image_sha256") + "\n";
    text += "  job " + Shown(r, "job") + ", operator " + Shown(r, "operator") + ", host " +
            Shown(r, "host") + "\n";
    text += "  log     " + Shown(r, "log_file") + "\n";
    text += "  record  " + Shown(r, "id") + "\n";
    return text;
}

int Find(RecordStore& store, const CliOptions& options,
         const std::function<void(const std::string&)>& say) {
    std::vector<std::string> lines;
    Result<void> read = store.FindBox(options.findBox, [&](const RecordStore::Placed& found) {
        lines.push_back(found.json);
        return true;
    });
    if (!read) {
        say("the database cannot be read: " + read.Failure().Describe());
        return kExitUsage;
    }
    if (lines.empty()) {
        say("no record of box " + options.findBox + " in " + store.Shown());
        return kNoneFound;
    }
    Out out;
    if (!options.json) {
        out.Add("box " + EscapeName(options.findBox) + ": " + std::to_string(lines.size()) +
                (lines.size() == 1 ? " record" : " records, oldest first") + "\n");
    }
    for (const std::string& line : lines) {
        if (options.json) {
            out.Add(line + "\n");
        } else {
            out.Add(RecordText(ParseJsonObject(line).value_or(Json::object())));
        }
    }
    return kExitPass;
}

int Export(RecordStore& store, const CliOptions& options,
           const std::function<void(const std::string&)>& say) {
    RecordStore::Filter filter;
    filter.fromMs = ParseQueryTime(*options.from).value_or(0);  // checked when parsed
    filter.toMs = ParseQueryTime(*options.to).value_or(0);
    if (!options.watchStations.empty()) {
        filter.station = options.watchStations.front();
    }
    filter.result = options.resultWord;
    Out out;
    Result<void> read;
    if (options.jsonLines) {
        read = store.Export(filter, [&](const std::string& line) {
            out.Add(line + "\n");
            return out.Open();
        });
    } else {
        // Once for the columns, once for the rows.
        CsvColumns columns;
        read = store.Export(filter, [&](const std::string& line) {
            columns.Learn(line);
            return true;
        });
        if (read) {
            out.Add(columns.Header());
            read = store.Export(filter, [&](const std::string& line) {
                out.Add(columns.Row(line));
                return out.Open();
            });
        }
    }
    if (!read) {
        out.Flush();
        say("the database cannot be read: " + read.Failure().Describe());
        return kExitUsage;
    }
    return kExitPass;
}

}  // namespace

int RunRecordQuery(const CliOptions& options, const std::function<void(const std::string&)>& say) {
    const char* what = options.mode == CliOptions::Mode::Find ? "--find" : "--export";
    std::optional<std::string> db = options.db;
    if (options.job) {
        const Result<Job> job = ReadJob(*options.job);
        if (!job) {
            say(job.Failure().Describe());
            return kExitUsage;
        }
        db = job->db;
    }
    if (!db) {
        say(std::string(what) + " reads records from a database: give --db URL, or a --job " +
            "that names one (db = \"...\")" +
            (options.job ? "; " + *options.job + " names none" : ""));
        return kExitUsage;
    }
    const Result<StoreUrl> url = ParseStoreUrl(*db);
    if (!url) {
        say(url.Failure().Describe());
        return kExitUsage;
    }
    // A SQLite file is read, never made by a query: a mistyped name is said as such.
    struct stat info {};
    if (url->kind == StoreUrl::Kind::Sqlite && stat(url->target.c_str(), &info) != 0) {
        say("the database cannot be used: " + ErrnoFailure("open", url->shown, errno).Describe());
        return kExitUsage;
    }
    Result<std::unique_ptr<RecordStore>> store = RecordStore::Open(*url, say);
    if (!store) {
        say("the database cannot be used: " + store.Failure().Describe());
        return kExitUsage;
    }
    return options.mode == CliOptions::Mode::Find ? Find(**store, options, say)
                                                  : Export(**store, options, say);
}
