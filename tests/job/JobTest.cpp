// A job file read and checked in memory: its settings with paths taken from its folder, each
// mistake named by its line, and the plan --check shows (a wrong image, a missing port).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "job/Job.h"
#include "job/JobPlan.h"
#include "platform/base/UniqueFd.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/pty/Pty.h"

namespace {

// SHA-256 of the three bytes "abc".
const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string JobText(const std::string& extra = "") {
    return "name = \"line3-fw-2.4\"   # the job's name\n"
           "image = \"fw/abc.sdl\"\n"
           "sha256 = \"" +
           std::string("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD") +
           "\"\n"
           "timeout = 60\n"
           "box_id = 'SN: (\\w+)'\n"
           "report = \"boxes.jsonl\"\n" +
           extra +
           "\n[slots]\n"
           "A1 = \"/dev/ttyS0\"\n"
           "A2 = \"COM7\"\n"
           "A10 = \"COM8\"\n";
}

TEST(Job, AJobsSettingsWithPathsFromItsFolderAndEveryMistakeNamedByItsLine) {
    const Result<Job> job = ParseJob(JobText(), "/line/3/job.toml");
    ASSERT_TRUE(job) << job.Failure().Describe();
    EXPECT_EQ(job->name, "line3-fw-2.4");
    EXPECT_EQ(job->image, "/line/3/fw/abc.sdl");
    EXPECT_EQ(job->report, "/line/3/boxes.jsonl");
    EXPECT_EQ(job->sha256, kAbc);
    EXPECT_EQ(job->timeoutSeconds, 60);
    EXPECT_EQ(job->boxId, "SN: (\\w+)");
    ASSERT_EQ(job->slots.size(), 3u);
    EXPECT_EQ(job->slots[2].label, "A10");  // in the file's order
    EXPECT_EQ(job->slots[0].label, "A1");
    EXPECT_EQ(job->slots[0].port, "/dev/ttyS0");
    EXPECT_EQ(job->slots[1].port, "COM7");
    // A SQLite file from the job's folder; a server's URL as it is.
    const Result<Job> sqlite =
        ParseJob(JobText("db = \"sqlite:records/boxes.db\"\n"), "/line/3/job.toml");
    ASSERT_TRUE(sqlite) << sqlite.Failure().Describe();
    EXPECT_EQ(sqlite->db, "sqlite:/line/3/records/boxes.db");
    const Result<Job> server =
        ParseJob(JobText("db = \"postgresql://line3@db/factory\"\n"), "/line/3/job.toml");
    ASSERT_TRUE(server);
    EXPECT_EQ(server->db, "postgresql://line3@db/factory");
    // The rate and the whole image only where asked for.
    EXPECT_FALSE(job->baud);
    EXPECT_FALSE(job->requireWhole);
    const Result<Job> line =
        ParseJob(JobText("baud = 921600\ncoverage = \"whole\"\n"), "/line/3/job.toml");
    ASSERT_TRUE(line) << line.Failure().Describe();
    EXPECT_EQ(line->baud, 921600u);
    EXPECT_TRUE(line->requireWhole);
    EXPECT_FALSE(job->scan.required || job->scan.blockRepeats);
    const Result<Job> scanned =
        ParseJob(JobText("scan = \"required\"\nscan_prefix = \"SOCKET-\"\nrepeats = \"block\"\n"),
                 "/line/3/job.toml");
    ASSERT_TRUE(scanned) << scanned.Failure().Describe();
    EXPECT_EQ(scanned->scan, (ScanPolicy{true, "SOCKET-", true}));

    const std::vector<std::pair<std::string, std::string>> broken{
        {JobText("speed = 9600\n"), "job.toml:7: unknown key 'speed'"},
        {JobText("baud = 0\n"), "job.toml:7: baud takes a whole number from 50 to 4000000"},
        {JobText("baud = \"fast\"\n"), "job.toml:7: baud takes a whole number"},
        {JobText("coverage = \"all\"\n"), "job.toml:7: coverage takes \"whole\""},
        {JobText("scan = \"yes\"\n"), "job.toml:7: scan takes \"required\" (no box loads"},
        {JobText("scan_prefix = \"SLOT A\"\n"), "job.toml:7: scan_prefix is what a slot's own"},
        {"name = \"x\"\nimage = \"i\"\nsha256 = \"" + kAbc +
             "\"\nrepeats = \"block\"\n[slots]\nA1 = \"COM3\"\n",
         "job.toml: repeats = \"block\" needs the box's id: scan = \"required\", or box_id"},
        {JobText("debug = \"yes\"\n"), "job.toml:7: debug takes true or false"},
        {JobText("capture_max = -1\n"), "job.toml:7: capture_max takes a whole number from"},
        // A float past every whole number: reading it as one overflowed.
        {JobText("capture_max = 1048e76\n"), "job.toml:7: capture_max takes a whole number from"},
        {"timeout = 1e300\n", "job.toml:1: timeout takes a whole number from 0 to 86400"},
        {"box_id = '(a)(b)'\n", "job.toml:1: --box-id takes an expression with one"},
        {JobText("mqtt = \"http://broker\"\n"), "job.toml:7: "},
        {JobText("db = \"boxes.db\"\n"), "job.toml:7: a database is sqlite:FILE or postgresql://"},
        {JobText("station = \"\"\n"), "job.toml:7: station may not be empty"},
        {JobText("name = \"again\"\n"), "job.toml:7: "},  // TOML: a key defined twice
        {JobText() + "A3 = \"COM7\"\n", "job.toml:12: the slots A2 and A3 name the same port"},
        {JobText() + "\"A 4\" = \"COM9\"\n", "job.toml:12: the slot label 'A 4' is not"},
        {"name = \"x\"\nimage = \"i\"\nsha256 = \"abc\"\n", "job.toml:3: sha256 takes all 64"},
        {"image = \"i\"\n", "job.toml: the job has no name"},
        {"name = \"x\"\nimage = \"i\"\nsha256 = \"" + kAbc + "\"\n",
         "job.toml: the job has no [slots]"},
        {"name = \"x\"\nimage = \"i\"\nsha256 = \"" + kAbc + "\"\n[slots]\n",
         "job.toml:4: [slots] names no slot"},
    };
    for (const auto& [text, expected] : broken) {
        const Result<Job> refused = ParseJob(text, "job.toml");
        ASSERT_FALSE(refused) << expected;
        EXPECT_TRUE(refused.Failure().Describe().starts_with(expected))
            << refused.Failure().Describe();
    }
}

TEST(Job, ThePlanSaysWhyAJobCannotRunAndTheImageIsCheckedByItsHash) {
    TempDir dir;
    Pty tty;
    WriteBytes(dir.File("abc.sdl"), "abc");
    ASSERT_EQ(symlink(tty.SlavePath().c_str(), dir.File("tty").c_str()), 0);
    const std::string text = "name = \"j\"\nimage = \"abc.sdl\"\nsha256 = \"" + kAbc +
                             "\"\nlog_dir = \"logs\"\n[slots]\nA1 = \"tty\"\nA2 = \"gone\"\n";
    WriteBytes(dir.File("job.toml"), text);
    const Result<Job> job = ReadJob(dir.File("job.toml"));
    ASSERT_TRUE(job) << job.Failure().Describe();
    JobPlan plan = PlanJob(*job);
    EXPECT_TRUE(plan.imageOk && plan.outputsOk);
    EXPECT_EQ(plan.slotsMissing, 1);
    EXPECT_NE(
        plan.text.find("slot A1   " + dir.File("tty") + ": present (" + tty.SlavePath() + ")\n"),
        std::string::npos)
        << plan.text;
    EXPECT_NE(plan.text.find("slot A2   " + dir.File("gone") + ": MISSING"), std::string::npos)
        << plan.text;
    EXPECT_NE(plan.text.find("the job cannot run: 1 slot(s) missing\n"), std::string::npos);
    EXPECT_TRUE(CheckImageSha256(job->image, job->sha256));

    // The same name, other bytes: refused with both hashes.
    WriteBytes(dir.File("abc.sdl"), "abd");
    plan = PlanJob(*job);
    EXPECT_FALSE(plan.imageOk);
    const Result<void> wrong = CheckImageSha256(job->image, job->sha256);
    ASSERT_FALSE(wrong);
    EXPECT_NE(wrong.Failure().Describe().find("not " + kAbc), std::string::npos);
    EXPECT_NE(plan.text.find(": WRONG IMAGE"), std::string::npos) << plan.text;

    // An output folder that cannot be made.
    WriteBytes(dir.File("abc.sdl"), "abc");
    WriteBytes(dir.File("logs"), "a file where the folder should be");
    plan = PlanJob(*job);
    EXPECT_FALSE(plan.outputsOk);
    EXPECT_NE(plan.text.find("logs: cannot be written: not a folder"), std::string::npos);
}

// The plan refuses what the run would: each port is opened as a start opens it (a file or
// /dev/null is no serial line; a port another program holds is busy), and the report gets a
// write that leaves no trace (/dev/full takes none). A port name is the device it stands for,
// so a slot named COM7 beside its own device is the same port twice.
TEST(Job, ThePlanOpensEachPortAsTheRunWouldAndTriesAWriteToTheReport) {
    TempDir dir;
    Pty held;
    Pty free;
    WriteBytes(dir.File("abc.sdl"), "abc");
    WriteBytes(dir.File("file"), "");
    WriteBytes(dir.File("boxes.jsonl"), "{}\n");
    const UniqueFd holder(open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(holder);
    ASSERT_EQ(flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
    const auto plan = [&](const std::string& report, const std::string& slots) {
        WriteBytes(dir.File("job.toml"), "name = \"j\"\nimage = \"abc.sdl\"\nsha256 = \"" + kAbc +
                                             "\"\nreport = \"" + report + "\"\n[slots]\n" + slots);
        const Result<Job> job = ReadJob(dir.File("job.toml"));
        EXPECT_TRUE(job) << job.Failure().Describe();
        return job ? PlanJob(*job) : JobPlan{};
    };

    JobPlan refused =
        plan("boxes.jsonl", "A1 = \"/dev/null\"\nA2 = \"file\"\nA3 = \"" + held.SlavePath() +
                                "\"\nA4 = \"" + free.SlavePath() + "\"\n");
    EXPECT_FALSE(refused.CanRun());
    EXPECT_TRUE(refused.imageOk && refused.outputsOk);  // the run's status 3: the ports
    EXPECT_EQ(refused.slotsMissing, 0);
    EXPECT_EQ(refused.slotsRefused, 3);
    for (const std::string& row : std::vector<std::string>{
             "slot A1   /dev/null: cannot be opened: not a serial device\n",
             "slot A2   " + dir.File("file") + ": cannot be opened: not a serial device\n",
             "slot A3   " + held.SlavePath() + ": cannot be opened: another program holds it\n",
             "slot A4   " + free.SlavePath() + ": present\n",
             "the job cannot run: 3 slot(s) cannot be opened\n"}) {
        EXPECT_NE(refused.text.find(row), std::string::npos) << row << refused.text;
    }
    EXPECT_EQ(ReadBytes(dir.File("boxes.jsonl")), "{}\n") << "the probe left a trace";

    // The free port was closed again, and a report that takes no byte is refused.
    if (access("/dev/full", W_OK) == 0) {
        JobPlan full = plan("/dev/full", "A4 = \"" + free.SlavePath() + "\"\n");
        EXPECT_FALSE(full.outputsOk);
        EXPECT_FALSE(full.CanRun());
        EXPECT_NE(full.text.find("report    /dev/full: cannot be written: No space left on "
                                 "device\n"),
                  std::string::npos)
            << full.text;
    }
    EXPECT_TRUE(plan("boxes.jsonl", "A4 = \"" + free.SlavePath() + "\"\n").CanRun());

    // COM7 is this pty here: the job names one device twice, and says so with its line.
    setenv("STAVEL_COM7", free.SlavePath().c_str(), 1);
    WriteBytes(dir.File("job.toml"), "name = \"j\"\nimage = \"abc.sdl\"\nsha256 = \"" + kAbc +
                                         "\"\n[slots]\nA1 = \"COM7\"\nA2 = \"" + free.SlavePath() +
                                         "\"\n");
    const Result<Job> twins = ReadJob(dir.File("job.toml"));
    unsetenv("STAVEL_COM7");
    ASSERT_FALSE(twins);
    EXPECT_EQ(twins.Failure().Describe(), dir.File("job.toml") +
                                              ":6: the slots A1 and A2 name the same port (" +
                                              free.SlavePath() + ")");
}

}  // namespace

namespace {

// The example, in a folder with its image and lists.
std::string UnitJob(const std::string& unit) {
    return "name = \"j\"\nimage = \"img.sdl\"\nsha256 = \"" + kAbc +
           "\"\n[slots]\nA1 = \"COM7\"\n"
           "[unit]\n" +
           unit;
}

const std::string kUnit =
    "region = { offset = 0x1F000, length = 256 }\n"
    "store = \"sqlite:units.db\"\n"
    "fields = [\n"
    "  { name = \"serial\", at = 0,  length = 16, format = \"ascii\", from = { counter = "
    "\"SN{:08d}\", start = 1000 } },\n"
    "  { name = \"mac\",    at = 16, length = 6,  format = \"mac\",   from = { list = "
    "\"macs.csv\", column = \"mac\" } },\n"
    "  { name = \"key\",    at = 32, length = 32, format = \"hex\",   from = { list = "
    "\"macs.csv\", column = \"key\" }, secret = true },\n"
    "]\n"
    "checksum = { kind = \"crc32\", over = [0x1F000, 0x1F0FC], at = 0x1F0FC, order = "
    "\"little\" }\n"
    "warn_below = 500\n";

}  // namespace

TEST(Job, AUnitSectionIsReadWholeAndEachMistakeNamesItsLine) {
    TempDir dir;
    WriteBytes(dir.File("img.sdl"), std::string(0x20000, 'x'));
    WriteBytes(dir.File("macs.csv"), "mac,key\naa:bb:cc:dd:ee:01," + std::string(64, 'a') +
                                         "\naa:bb:cc:dd:ee:02," + std::string(64, 'b') + "\n");
    WriteBytes(dir.File("job.toml"), UnitJob(kUnit));
    const Result<Job> job = ReadJob(dir.File("job.toml"));
    ASSERT_TRUE(job) << job.Failure().Describe();
    ASSERT_TRUE(job->unit);
    const UnitLayout& u = *job->unit;
    EXPECT_EQ(u.offset, 0x1F000);
    EXPECT_EQ(u.length, 256);
    EXPECT_EQ(u.store, "sqlite:" + dir.File("units.db"));
    ASSERT_EQ(u.sources.size(), 2u) << "mac and key share one list's rows";
    EXPECT_EQ(u.sources[0].name, "serial");
    EXPECT_EQ(u.sources[1].name, "mac");
    EXPECT_EQ(u.sources[1].rows.size(), 2u);
    ASSERT_EQ(u.fields.size(), 3u);
    EXPECT_EQ(u.fields[2].column, 1u);
    EXPECT_TRUE(u.fields[2].secret);
    EXPECT_EQ(u.fields[1].format, UnitFormat::Mac);
    ASSERT_TRUE(u.checksum);
    EXPECT_EQ(u.checksum->at, 0x1F0FC);
    EXPECT_EQ(u.warnBelow, 500);

    const auto refused = [&](const std::string& unit, const std::string& csv) {
        WriteBytes(dir.File("macs.csv"), csv);
        WriteBytes(dir.File("job.toml"), UnitJob(unit));
        const Result<Job> r = ReadJob(dir.File("job.toml"));
        return r ? std::string("read") : r.Failure().Describe();
    };
    const std::string good = "mac,key\naa:bb:cc:dd:ee:01," + std::string(64, 'a') + "\n";
    const std::string file = dir.File("job.toml");
    const auto replace = [&](std::string from, const std::string& to) {
        std::string text = kUnit;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    // The [unit] table starts on line 6: region 7, store 8, fields from 9, checksum 14.
    EXPECT_EQ(refused(replace("0x1F000, length = 256", "0x1F000, length = 4097"), good),
              file + ":7: the region ends at 131073, past the image's end (131072 bytes)");
    EXPECT_EQ(refused(replace("at = 16, ", "at = 10, "), good),
              file + ":11: the field mac overlaps the field serial");
    EXPECT_EQ(refused(replace("at = 32, length = 32", "at = 240, length = 16"), good),
              file + ":12: the field key overlaps the checksum");
    EXPECT_EQ(refused(replace("\"ascii\"", "\"utf8\""), good),
              file +
                  ":10: unknown format 'utf8'; a field's format is ascii, hex, mac, u32le or "
                  "u32be");
    EXPECT_EQ(refused(replace("length = 16, format", "length = 8, format"), good),
              file +
                  ":10: the counter's first value 'SN00001000': is 10 bytes, longer than its "
                  "8-byte field");
    EXPECT_EQ(refused(kUnit, good + "aa:bb:cc:dd:ee:01," + std::string(64, 'c') + "\n"),
              dir.File("macs.csv") + ":3: the mac 'aa:bb:cc:dd:ee:01' stands here and on line 2");
    EXPECT_EQ(refused(kUnit, "mac,key\naa:bb:cc:dd:ee:01," + std::string(66, 'a') + "\n"),
              dir.File("macs.csv") + ":2: the key '" + std::string(66, 'a') +
                  "': is 33 bytes, longer than its 32-byte field");
    EXPECT_EQ(
        refused(replace("column = \"mac\"", "column = \"MAC\""), good),
        file + ":11: " + dir.File("macs.csv") + ": has no column 'MAC'; its columns: mac, key");
    EXPECT_EQ(refused(replace("0x1F0FC], at = 0x1F0FC", "0x1F200], at = 0x1F0FC"), good),
              file + ":14: the checksum's range must lie in the region (0x1F000 to 0x1F100)");
    EXPECT_EQ(refused(replace("warn_below", "warn_under"), good),
              file +
                  ":15: unknown key 'warn_under' in [unit]; it knows region, store, fields, "
                  "checksum, warn_below");
}

namespace {

TEST(Job, ALabelAndItsPrinterAreReadWithTheJobAndAFieldItCannotFillNamesBothLines) {
    TempDir dir;
    WriteBytes(dir.File("img.sdl"), std::string(0x20000, 'x'));
    WriteBytes(dir.File("macs.csv"), "mac,key\naa:bb:cc:dd:ee:01," + std::string(64, 'a') + "\n");
    const auto read = [&](const std::string& zpl, const std::string& keys) {
        WriteBytes(dir.File("pass.zpl"), zpl);
        WriteBytes(dir.File("job.toml"), keys + UnitJob(kUnit));
        const Result<Job> job = ReadJob(dir.File("job.toml"));
        return job ? std::string("read") : job.Failure().Describe();
    };
    const std::string both = "label = \"pass.zpl\"\nprinter = \"dir:labels\"\n";
    EXPECT_EQ(read("^XA^FD{box_id} {serial} {mac}^FS^XZ", both), "read");
    const Result<Job> job = ReadJob(dir.File("job.toml"));
    ASSERT_TRUE(job);
    EXPECT_EQ(job->labelZpl, "^XA^FD{box_id} {serial} {mac}^FS^XZ");
    EXPECT_EQ(job->printer, "dir:" + dir.File("labels"));
    // A folder of labels that cannot be one is an output that cannot be written.
    WriteBytes(dir.File("labels"), "a file");
    const JobPlan missing = PlanJob(*job);
    EXPECT_FALSE(missing.outputsOk);
    EXPECT_NE(missing.text.find("  label     pass.zpl to dir:" + dir.File("labels") +
                                ": cannot be written: not a folder"),
              std::string::npos)
        << missing.text;
    ASSERT_EQ(unlink(dir.File("labels").c_str()), 0);
    EXPECT_TRUE(PlanJob(*job).outputsOk) << PlanJob(*job).text;
    const std::string file = dir.File("job.toml");
    EXPECT_EQ(
        read("^XA\n^FD{key}^FS", both),
        file + ":1: label: pass.zpl:2: {key} is a secret unit field; a label never prints one");
    EXPECT_EQ(read("^XA^FD{lot}^FS", both),
              file +
                  ":1: label: pass.zpl:1: unknown field {lot}; a label knows box_id, job, "
                  "station, slot, time, serial, mac");
    EXPECT_EQ(read("{job}", both).rfind(file + ":1: label: pass.zpl:1: {job} stands outside", 0),
              0u);
    EXPECT_EQ(read("^FD{job}^FS", "label = \"pass.zpl\"\n"),
              file + ":1: label goes with printer = \"...\"");
    EXPECT_EQ(read("^FD{job}^FS", "printer = \"lpr:zebra\"\n"),
              file +
                  ":1: printer takes \"tcp://HOST:PORT\", \"cups:QUEUE\" or \"dir:FOLDER\", "
                  "not 'lpr:zebra'");
    EXPECT_NE(read("", "label = \"none.zpl\"\nprinter = \"cups:z\"\n").find(":1: label: "),
              std::string::npos);
}

}  // namespace
