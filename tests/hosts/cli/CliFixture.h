#pragma once

// What the end-to-end tests share: where the programs are, a temporary folder with a test
// image, a settings file and a report, the command lines of `stavel`, the log lines the main
// dialog writes, and the report's records read with the product's JSON reader.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "record/Json.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/process/ChildProcess.h"

inline const std::string kBanner =
    "***************************** Start program *****************************\r\n";
inline const std::string kPleaseConnect = "Please connect serial port and turn on.....\r\n";
inline const std::string kStopUploading = "\r\nStop uploading....\r\n\r\n";

std::string ConnectedLine(int port);
std::string FilenameLine(const std::string& path, std::uint64_t size);
// The INI file after runs that connected `port` and never chose an image with the file dialog.
std::string IniAfterConnect(int port);

// The report's lines without their line breaks; each must be whole.
std::vector<std::string> ReportLines(const std::string& path);
// The report's records, each checked to be one JSON object.
std::vector<Json> Records(const std::string& path);

class CliTest : public ::testing::Test {
  protected:
    // A generated image of `size` bytes in the test's folder; its bytes are kept in m_image.
    std::string MakeImage(std::uint64_t size, const std::string& name = "image.sdl");

    // stavel --port PORT --image IMAGE --ini <folder>/Stavel_OV.ini, then `extra`.
    std::vector<std::string> StavelServe(const std::string& port, const std::string& image,
                                         std::vector<std::string> extra = {}) const;
    std::string IniPath() const { return m_dir.File("Stavel_OV.ini"); }
    std::string ReportPath() const { return m_dir.File("boxes.jsonl"); }

    TempDir m_dir;
    std::vector<std::uint8_t> m_image;
};

// The COM number stavel gave to a device path outside its map, from "COM%d stands for PATH"
// on its standard error; 0 when it said nothing of the kind.
int AssignedPort(const std::string& stderrText, const std::string& path);

// Waits until `tool` has (re)opened `device` for the `times`-th START and can be talked to;
// answers its COM number.
int WaitConnected(ChildProcess& tool, const std::string& device, int times = 1);
