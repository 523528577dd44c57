// A job's power control and retries read in memory: each backend's settings and each slot's
// outlet, a plain-string slot beside a table, and every mistake named by its line.

#include <gtest/gtest.h>

#include <string>

#include "job/Job.h"

namespace {

std::string PowerJobText(const std::string& top, const std::string& power,
                         const std::string& slots) {
    return "name = \"rack\"\n"     // 1
           "image = \"fw.sdl\"\n"  // 2
           "sha256 = \"" +
           std::string(64, 'a') + "\"\n" + top +  // 3..
           power + "[slots]\n" + slots;
}

std::string Refusal(const std::string& text) {
    const Result<::Job> job = ParseJob(text, "/rack/job.toml");
    return job ? std::string("(read)") : job.Failure().Describe();
}

TEST(JobPower, EachBackendAndEachSlotsOutletAreReadAndEveryMistakeNamesItsLine) {
    const std::string pdu =
        "[power]\nbackend = \"pdudaemon\"\nurl = \"http://127.0.0.1:16421\"\n"
        "off_seconds = 2\non_start = false\noff_after = \"fail\"\ntimeout = 4\n";
    const Result<::Job> job = ParseJob(
        PowerJobText(
            "retries = 2\nretry_on = [\"box-stalled\", \"port-lost\"]\ntake_out_after = 3\n", pdu,
            "A1 = { port = \"/dev/ttyS0\", power = { hostname = \"rack1\", port = 1 } }\n"
            "A2 = { port = \"/dev/ttyS1\", power = { hostname = \"rack 1\", port = \"B7\" } }\n"),
        "/rack/job.toml");
    ASSERT_TRUE(job) << job.Failure().Describe();
    ASSERT_TRUE(job->power);
    EXPECT_EQ(job->power->backend, PowerBackend::Pdudaemon);
    EXPECT_EQ(job->power->url, "http://127.0.0.1:16421");
    EXPECT_EQ(job->power->offTime, std::chrono::seconds(2));
    EXPECT_FALSE(job->power->onStart);
    EXPECT_EQ(job->power->offAfter, PowerOffAfter::Fail);
    EXPECT_EQ(job->power->bound, std::chrono::seconds(4));
    ASSERT_EQ(job->slots.size(), 2u);
    EXPECT_EQ(job->slots[0].port, "/dev/ttyS0");
    EXPECT_EQ(job->slots[0].power, (SlotSwitch{"rack1", "", "1"}));
    EXPECT_EQ(job->slots[1].power, (SlotSwitch{"rack 1", "", "B7"}));
    EXPECT_EQ(job->retry.retries, 2);
    EXPECT_EQ(job->retry.retryOn, (std::vector<std::string>{"box-stalled", "port-lost"}));
    EXPECT_EQ(job->retry.takeOutAfter, 3);

    // A plain string slot stays valid beside a table; dtr needs no outlet; a default plan.
    const Result<::Job> dtr =
        ParseJob(PowerJobText("", "[power]\nbackend = \"dtr\"\non_when = \"cleared\"\n",
                              "A1 = \"/dev/ttyS0\"\nA2 = { port = \"/dev/ttyS1\" }\n"),
                 "/rack/job.toml");
    ASSERT_TRUE(dtr) << dtr.Failure().Describe();
    EXPECT_FALSE(dtr->power->onWhenAsserted);
    EXPECT_TRUE(dtr->power->onStart);
    EXPECT_EQ(dtr->power->offAfter, PowerOffAfter::Never);
    EXPECT_EQ(dtr->power->bound, std::chrono::seconds(10));
    EXPECT_EQ(dtr->slots[1].port, "/dev/ttyS1");
    // Without [power] or retries nothing changes.
    const Result<::Job> plain =
        ParseJob(PowerJobText("", "", "A1 = \"/dev/ttyS0\"\n"), "/rack/job.toml");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->power);
    EXPECT_EQ(plain->retry, RetryPolicy{});

    const std::string slot =
        "A1 = { port = \"/dev/ttyS0\", power = { hub = \"1-1\", port = 2 } }\n";
    const std::string hub = "[power]\nbackend = \"uhubctl\"\n";
    EXPECT_EQ(Refusal(PowerJobText("retry_on = [\"box-stalled\", \"box-sleepy\"]\nretries = 1\n",
                                   hub, slot)),
              "/rack/job.toml:4: retry_on: no record has the reason code 'box-sleepy'; the codes "
              "are port-not-opened, port-lost, box-stalled, image-changed, box-silent, "
              "box-talking, operator-stop, slot-crashed, station-killed, image-not-whole, "
              "unit-not-delivered");
    EXPECT_EQ(Refusal(PowerJobText("retries = 1\n", hub, slot)),
              "/rack/job.toml:4: retries goes with retry_on = [reason codes]");
    EXPECT_EQ(Refusal(PowerJobText("retries = 11\n", hub, slot)),
              "/rack/job.toml:4: retries takes a whole number from 0 to 10");
    EXPECT_EQ(Refusal(PowerJobText("", "[power]\nbackend = \"relay\"\n", slot)),
              "/rack/job.toml:5: backend takes \"pdudaemon\", \"uhubctl\", \"command\", \"dtr\" "
              "or \"rts\", not 'relay'");
    EXPECT_EQ(Refusal(PowerJobText("", "[power]\nbackend = \"pdudaemon\"\n", slot)),
              "/rack/job.toml:4: [power] with backend \"pdudaemon\" needs its url");
    EXPECT_EQ(Refusal(PowerJobText("", hub + "off_after = \"sometimes\"\n", slot)),
              "/rack/job.toml:6: off_after takes \"never\", \"fail\" or \"always\", not "
              "'sometimes'");
    EXPECT_EQ(Refusal(PowerJobText("", hub, "A1 = \"/dev/ttyS0\"\n")),
              "/rack/job.toml:7: the slot A1 needs its outlet for [power] (power = { hub = "
              "\"LOCATION\", port = N })");
    EXPECT_EQ(Refusal(PowerJobText("", "", slot)),
              "/rack/job.toml:5: the slot A1 names a power outlet, but the job has no [power]");
    EXPECT_EQ(
        Refusal(PowerJobText("", hub, "A1 = { port = \"/dev/ttyS0\", power = { socket = 2 } }\n")),
        "/rack/job.toml:7: unknown key 'socket' in the slot A1's power; it knows hostname, "
        "hub and port");
    EXPECT_EQ(Refusal(PowerJobText("", hub, "A1 = { power = { hub = \"1\", port = 2 } }\n")),
              "/rack/job.toml:7: the slot A1 names no port (port = \"...\")");
    EXPECT_EQ(Refusal(PowerJobText(
                  "", "[power]\nbackend = \"command\"\ncommand = [\"relay\", \"{slot}\"]\n", slot)),
              "/rack/job.toml:6: command knows {label}, {port} and {action}, not '{slot}'");
    EXPECT_EQ(Refusal(PowerJobText("", hub + "voltage = 5\n", slot)),
              "/rack/job.toml:6: unknown key 'voltage' in [power]; it knows backend, url, "
              "command, on_when, off_seconds, timeout, on_start, off_after");
}

}  // namespace
