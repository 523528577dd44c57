#pragma once

// The map from the port numbers the operator picks (COM1..COM50, or a port name such as "COM3"
// or "\\.\COM12") to a device path. The table is fixed, so a number stored in the INI file means
// the same device tomorrow; README.md ("Ports") lists it. An entry is looked up in this order:
//   1. a run-time override (SetPortOverride: the command-line host given a raw device path),
//   2. the environment variable STAVEL_COMn (for example STAVEL_COM7=/dev/pts/3),
//   3. the fixed table: COM1..16 ttyUSB0..15, COM17..32 ttyACM0..15, COM33..48 ttyS0..15,
//      COM49..50 ttyAMA0..1.
// A name that is already a path ("/dev/ttyUSB0") stands for itself.
//
// Threading rules: every function may be called from any thread.

#include <optional>
#include <string>
#include <vector>

inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 50;

std::optional<std::string> DevicePathForNumber(int number);
std::optional<std::string> DevicePathForPortName(const std::string& name);

// The port number a name stands for: "COM3", "\\.\COM12", "com7" (Windows ignores case in
// device names); nothing for a path or anything else.
std::optional<int> PortNumberForName(const std::string& name);

// The fixed table alone, without overrides.
std::optional<std::string> FixedDevicePath(int number);

void SetPortOverride(int number, std::string devicePath);
void ClearPortOverride(int number);
void ClearPortOverrides();

// Numbers that have a run-time override, ascending.
std::vector<int> PortOverrideNumbers();
