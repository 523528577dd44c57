#pragma once

// How a station switches its boxes' power, as a job gives it ([power], and each slot's
// `power = {...}`). Plain data: the job fills it, the station keeps the timing, power/ turns a
// slot's switch into a request to a power daemon, a command or a modem line.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

enum class PowerBackend {
    Pdudaemon,  // GET {url}/power/control/{on,off}?hostname=H&port=N
    Uhubctl,    // uhubctl -l LOC -p N -a on|off
    Command,    // an argv template with {label}, {port} and {action}, run without a shell
    Dtr,        // the slot's own port's DTR line, set by the slot
    Rts,        // the same with RTS
};

enum class PowerAction { On, Off };

// After a box's final attempt: leave it powered, or switch it off (a failed box is then easy to
// find on the rack).
enum class PowerOffAfter { Never, Fail, Always };

// One slot's outlet.
struct SlotSwitch {
    std::string hostname;  // pdudaemon: the PDU's name in its configuration
    std::string hub;       // uhubctl: the hub's location (-l)
    std::string port;      // the outlet, hub port or relay the slot's box hangs on

    bool operator==(const SlotSwitch&) const = default;
};

struct PowerPlan {
    PowerBackend backend = PowerBackend::Pdudaemon;
    std::string url;                   // pdudaemon
    std::vector<std::string> command;  // command: the argv template
    bool onWhenAsserted = true;        // dtr/rts: the relay closes while the line is asserted
    std::chrono::seconds offTime{3};   // how long a cycle keeps the box off
    bool onStart = true;               // Start powers each slot's box on
    PowerOffAfter offAfter = PowerOffAfter::Never;
    std::chrono::milliseconds bound{10000};  // no action takes longer

    // Whether the slot's own process switches the box (it holds the port whose line does).
    bool BySlot() const { return backend == PowerBackend::Dtr || backend == PowerBackend::Rts; }
};

const char* PowerActionWord(PowerAction action);
