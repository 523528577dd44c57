#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The frames as the box writes them and the answers it expects. Kept apart from the tool's own
// definitions on purpose: the simulator is written from the wire format, not from the tool.
namespace stbsim {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kCmdStart = 1;
constexpr uint8_t kCmdDataReq = 2;
constexpr uint8_t kCmdTimeReq = 3;
constexpr uint8_t kCmdExitApp = 4;

// Bytes of a data request frame: STX, command, 2 length bytes, 4 offset bytes, ETX.
constexpr size_t kDataRequestSize = 9;
// Bytes of the answer to STB_TIME_REQ: STX, command, MJD high, MJD low, h, m, s, ETX.
constexpr size_t kTimeAnswerSize = 8;

std::vector<uint8_t> StartRequest();
std::vector<uint8_t> TimeRequest();
std::vector<uint8_t> ExitRequest();
// Length and offset little-endian, as the loader sends them.
std::vector<uint8_t> DataRequest(uint16_t length, uint32_t offset);
// The one acceptable answer to STB_START.
std::vector<uint8_t> StartAnswer();

// "02 01 0A 03": bytes for a message, cut after maxBytes with "...".
std::string HexBytes(const uint8_t* data, size_t size, size_t maxBytes = 32);
std::string HexBytes(const std::vector<uint8_t>& bytes, size_t maxBytes = 32);

}  // namespace stbsim
