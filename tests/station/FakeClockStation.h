#pragma once

// A supervisor driven by hand: its slots are the test's (MemoryTransport), its clock moves only
// when the test says, and its records go to a folder of the test's.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "station/Station.h"
#include "tests/station/MemoryTransport.h"
#include "tests/support/files/TempDir.h"

class FakeClockStation : public ::testing::Test {
  protected:
    // `slots` slots A1, A2, ... on ports that do not exist, served box after box.
    StationConfig Config(int slots = 2) {
        StationConfig config;
        for (int k = 1; k <= slots; ++k) {
            config.ports.push_back("/nonexistent/tty" + std::to_string(k));
            config.labels.push_back("A" + std::to_string(k));
        }
        config.report = dir.File("boxes.jsonl");
        config.loop = true;
        config.slot.image = "/proc/self/exe";  // any readable file
        config.slot.timeoutSeconds = 30;
        config.made = RecordProvenance{"9.9", "pc3", "L3", "Ann", "job7"};
        config.transport = &slots_;
        config.clock = [this] { return now; };
        return config;
    }

    // A station on `config` that tells `observer`, begun, and a hello from each of its slots.
    void BeginGreeted(const StationConfig& config, StationObserver* observer) {
        station = std::make_unique<Station>(config, observer);
        ASSERT_TRUE(station->Begin());
        for (std::size_t i = 0; i < config.ports.size(); ++i) {
            slots_.At(i)->Hello();
        }
    }

    void Advance(std::chrono::steady_clock::duration by) {
        now += by;
        station->Tick();
    }

    TempDir dir;
    MemoryTransport slots_;
    std::chrono::steady_clock::time_point now{};
    std::unique_ptr<Station> station;
};
