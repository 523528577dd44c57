// Records in a database from the command line: what --db, --find and --export take and refuse,
// a box loaded twice found with both its records, oldest first, through --db and through the
// job's db, and the records exported as CSV.

#include <regex>

#include "hosts/cli/CliOptions.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

TEST(DatabaseOptions, FindAndExportTakeADatabaseAndTheirOwnOptionsOnly) {
    const auto error = [](std::vector<std::string> args) { return ParseCommandLine(args).error; };
    CliParse find = ParseCommandLine({"--find", "SN4711", "--db", "sqlite:boxes.db", "--json"});
    ASSERT_TRUE(find.options) << find.error;
    EXPECT_EQ(find.options->mode, CliOptions::Mode::Find);
    EXPECT_EQ(find.options->findBox, "SN4711");
    CliParse exported = ParseCommandLine({"--export", "--from", "2026-12-07", "--to",
                                          "2026-12-08T06:00:00Z", "--station", "L3", "--result",
                                          "fail", "--format", "jsonl", "--job", "line3.toml"});
    ASSERT_TRUE(exported.options) << exported.error;
    EXPECT_TRUE(exported.options->jsonLines);
    EXPECT_EQ(exported.options->watchStations, std::vector<std::string>{"L3"});
    // Without a database the refusal comes when the job is read: --find alone parses.
    EXPECT_TRUE(ParseCommandLine({"--find", "SN4711"}).options);

    EXPECT_EQ(error({"--find", "SN1", "-p", "COM1"}),
              "--find takes only --db, --job and its own options, not '-p'");
    EXPECT_EQ(error({"--find", "SN1", "--export"}), "--find and --export: one or the other");
    EXPECT_EQ(error({"--export", "--from", "2026-12-07"}),
              "--export needs --from TIME and --to TIME (ISO 8601: 2026-12-07T08:00:00Z, or "
              "local time without the zone)");
    EXPECT_EQ(error({"--export", "--from", "yesterday", "--to", "2026-12-07"}),
              "--from takes an ISO 8601 time (2026-12-07T08:00:00Z, or local time without the "
              "zone), not 'yesterday'");
    EXPECT_EQ(error({"--export", "--from", "2026-12-07", "--to", "2026-12-08", "--result", "ok"}),
              "--result takes pass, fail or aborted, not 'ok'");
    EXPECT_EQ(error({"--find", "SN1", "--format", "csv"}),
              "--from, --to, --station, --result and --format go with --export");
    EXPECT_EQ(error({"--find", "SN1", "--db", "sqlite:a", "--job", "j.toml"}),
              "--db or --job names the database: one or the other");
    EXPECT_EQ(error({"-p", "COM1", "-i", "x", "--from", "2026-12-07"}),
              "--from, --to, --result and --format go with --export");
    EXPECT_EQ(error({"-p", "COM1", "-i", "x", "--db", "mysql://db/line"}),
              "--db mysql://db/line: a database is sqlite:FILE or "
              "postgresql://[USER@]HOST[:PORT]/DATABASE");
    // The password of a refused URL is not repeated.
    EXPECT_EQ(error({"-p", "COM1", "-i", "x", "--db", "pg://ann:secret@db/line"}).find("secret"),
              std::string::npos);
    EXPECT_EQ(error({"--watch", "mqtt://b", "--db", "sqlite:a"}),
              "--db with --watch keeps the board's history: it goes with --http");
    EXPECT_EQ(error({"--watch", "mqtt://b", "--http", "8080", "--db", "sqlite:a", "--history",
                     "h.jsonl"}),
              "--history FILE is the board's database sqlite:FILE.db: give one or the other");
    EXPECT_EQ(error({"--watch", "mqtt://b", "--http", "8080", "--keep-days", "0"}),
              "--keep-days takes a whole number of days from 1 to 36500, not '0'");
    EXPECT_EQ(error({"--demo", "--db", "sqlite:a"}),
              "--demo takes only --fast, --image, --debug and --quiet");
    EXPECT_EQ(
        error({"--job", "j.toml", "--db", "sqlite:a"}),
        "with --job only --check, --operator, --quiet, --bell, --json, --loop and --count may be "
        "given; the job sets the rest ('--db')");
}

class DatabaseTest : public CliTest {
  protected:
    // One box, printing its serial number, served by a single run with `extra`.
    void ServeBox(const std::string& image, std::vector<std::string> extra) {
        StbSimOptions options = FastBox(m_image);
        options.serial = "SN4711";
        BoxRunner box(options);
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        ChildProcess tool(StavelServe(box.SlavePath(), image, extra));
        ASSERT_NE(WaitConnected(tool, box.SlavePath()), 0) << tool.Stderr();
        box.Start();
        EXPECT_TRUE(box.Join().ok);
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(end.exited && end.status == 0) << tool.Stderr();
    }

    ChildProcess::End Run(std::vector<std::string> args, ChildProcess*& out) {
        args.insert(args.begin(), ProgramPath("stavel"));
        m_run = std::make_unique<ChildProcess>(args);
        out = m_run.get();
        return m_run->Wait();
    }

    std::unique_ptr<ChildProcess> m_run;
};

TEST_F(DatabaseTest, ABoxLoadedTwiceIsFoundWithBothRecordsOldestFirstAndExportsAsCsv) {
    const std::string image = MakeImage(20000);
    const std::string db = "sqlite:" + m_dir.File("boxes.db");
    for (const char* slot : {"A1", "A2"}) {
        ServeBox(image, {"--report", ReportPath(), "--db", db, "--box-id", "Serial number: (\\w+)",
                         "--operator", "Ann", "--quiet"});
        (void)slot;
    }
    const std::vector<std::string> report = ReportLines(ReportPath());
    ASSERT_EQ(report.size(), 2u);

    ChildProcess* find = nullptr;
    ChildProcess::End end = Run({"--find", "SN4711", "--db", db}, find);
    EXPECT_EQ(end.status, 0) << find->Stderr();
    const std::string text = find->Stdout();
    EXPECT_EQ(text.rfind("box SN4711: 2 records, oldest first\n", 0), 0u) << text;
    const std::vector<Json> records = Records(ReportPath());
    const std::size_t first = text.find(records[0]["id"].get<std::string>());
    const std::size_t second = text.find(records[1]["id"].get<std::string>());
    ASSERT_NE(first, std::string::npos) << text;
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, second) << "oldest first";
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\n20[0-9-]+T[0-9:.]+Z  PASS\n  station [^,]+, slot [^ ]+ \\([^)]+\\), "
                         "attempt 1, [0-9.]+ s\n  image   [^\n]*image\\.sdl, sha256 [0-9a-f]{64}\n"
                         "  job -, operator Ann, host [^\n]+\n  log     -\n  record  ")))
        << text;
    // As JSON Lines: the records exactly as the report has them.
    end = Run({"--find", "SN4711", "--db", db, "--json"}, find);
    EXPECT_EQ(find->Stdout(), report[0] + "\n" + report[1] + "\n");

    // The job's db, a path from the job's folder.
    const std::string job = m_dir.File("job.toml");
    WriteBytes(job, "name = \"line3\"\nimage = \"image.sdl\"\nsha256 = \"" + std::string(64, 'a') +
                        "\"\ndb = \"sqlite:boxes.db\"\n[slots]\nA1 = \"/dev/ttyUSB0\"\n");
    end = Run({"--find", "SN4711", "--job", job, "--json"}, find);
    EXPECT_EQ(find->Stdout(), report[0] + "\n" + report[1] + "\n") << find->Stderr();

    // Nothing to read: one line, status 2.
    WriteBytes(job, "name = \"line3\"\nimage = \"image.sdl\"\nsha256 = \"" + std::string(64, 'a') +
                        "\"\n[slots]\nA1 = \"/dev/ttyUSB0\"\n");
    end = Run({"--find", "SN4711", "--job", job}, find);
    EXPECT_EQ(end.status, 2);
    EXPECT_EQ(find->Stderr(),
              "stavel: --find reads records from a database: give --db URL, or a "
              "--job that names one (db = \"...\"); " +
                  job + " names none\n");
    end = Run({"--export", "--from", "2000-01-01", "--to", "2100-01-01"}, find);
    EXPECT_EQ(end.status, 2);
    EXPECT_EQ(CountOf(find->Stderr(), "\n"), 1) << find->Stderr();
    end = Run({"--find", "SN0000", "--db", db}, find);
    EXPECT_EQ(end.status, 1);
    EXPECT_EQ(find->Stderr(), "stavel: no record of box SN0000 in " + db + "\n");

    end = Run({"--export", "--from", "2000-01-01", "--to", "2100-01-01", "--db", db}, find);
    EXPECT_EQ(end.status, 0) << find->Stderr();
    const std::string csv = find->Stdout();
    EXPECT_EQ(csv.rfind("id,slot,device,adapter,result,reason,start,end,seconds,", 0), 0u) << csv;
    EXPECT_EQ(CountOf(csv, "\r\n"), 3) << csv;
    EXPECT_NE(csv.find("\r\n" + records[0]["id"].get<std::string>() + ","), std::string::npos);
}

}  // namespace
