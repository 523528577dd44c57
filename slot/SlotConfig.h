#pragma once

// Everything one slot is served with: the port, the image and every option that shapes its
// boxes. A single run makes it from its command line; a station sends it down each slot's
// channel (SlotChannel.h), so a slot's process parses nothing but the channel's descriptor.
//
//   {"label":"A1","port":"/dev/serial/by-path/...","number":5,"image":"/srv/fw.sdl",
//    "ini":"/tmp/stavel-station-x/slot1.ini","debug":false,"loop":true,"count":0,"timeout":120,
//    "report":null,"log_file":null,"log_dir":"logs","timestamps":false,"box_id":null,
//    "sha256":null,"capture":null,"capture_max":67108864,"baud":115200,
//    "require_whole":false,"scan_required":false,"unit":null,"label_zpl_hex":null,"printer":null,
//    "made":{"tool_version":"1.0.0.1","host":"pc3","station":"L3","operator":null,"job":null}}

#include <cstdint>
#include <optional>
#include <string>

#include "capture/CaptureFormat.h"
#include "record/BoxRecord.h"
#include "record/Json.h"
#include "unit/UnitLayout.h"

struct SlotConfig {
    std::string label;  // the slot's name: its label, or the port as given
    std::string port;   // as the operator gave it
    int number = 0;     // the COM number its log names a path outside the map by (0: a free one)
    std::string image;
    std::optional<std::string> ini;
    bool debug = false;
    bool loop = false;
    int count = 0;                       // with loop: boxes before the run ends (0: until stopped)
    int timeoutSeconds = 120;            // the silence bound (0: none)
    std::optional<std::string> report;   // a single run's; a station keeps its report itself
    std::optional<std::string> logFile;  // a single run's
    std::optional<std::string> logDir;   // one log file per box here
    bool timestamps = false;             // each log line starts with its UTC time
    std::optional<std::string> boxId;    // the box's identity in its console text (RE2)
    std::optional<std::string> sha256;   // the only image START serves
    std::optional<std::string> captureDir;
    std::int64_t captureMax = kCaptureMaxDefault;
    std::uint32_t baud = 115200;  // the line's rate (a station of before it could be chosen: this)
    bool requireWhole = false;    // a box not sent every byte of the image fails
    // scan = "required": a box's START is answered only once its label has been scanned.
    bool scanRequired = false;
    // A job's [unit]: each box is served its own data in this region. Down the channel it
    // carries the region and its fields only (slot/UnitLayoutJson.h); a single run keeps it
    // whole, since it draws its values itself.
    std::optional<UnitLayout> unit;
    RecordProvenance made;  // where and by whom its records are made
    // The modem line of its port that switches its box's power ("dtr", "rts"; empty: none),
    // and whether the box is on while the line is asserted.
    std::string powerLine;
    bool powerOnAsserted = true;
    // A job's label: the ZPL template, checked when the job was read, and its printer
    // (label/LabelPrinter.h). Each PASS prints one before its record is written.
    std::optional<std::string> labelZpl;
    std::optional<std::string> printer;

    bool operator==(const SlotConfig&) const = default;
};

Json SlotConfigJson(const SlotConfig& config);
// The configuration an object holds; nothing without a port and an image, or with a value of the
// wrong kind.
std::optional<SlotConfig> SlotConfigFromJson(const Json& json);
