#include "tools/stbsim/StbCommandLine.h"

#include <charconv>
#include <functional>
#include <map>

const char* const kStbUsage =
    "usage: stbsim (--image FILE | --size N [--save FILE]) [options]\n"
    "       stbsim --replay CAPTURE --image FILE [--fast] [--tty DEVICE [--baud N]]\n"
    "       stbsim --help | --version\n"
    "A simulated set-top box loader: it asks a download tool for an image over a serial line\n"
    "and checks every byte of every answer.\n"
    "  --image FILE        the image the box loads\n"
    "  --size N            a generated image of N bytes instead (a temporary file, or --save)\n"
    "  --save FILE         where to write the generated image\n"
    "  --tty DEVICE        use this tty instead of creating a pseudo-terminal\n"
    "  --block N           bytes per STB_DATA_REQ, 1..65535 (default 4096)\n"
    "  --baud N            pace both directions at N/10 bytes per second (default 115200)\n"
    "  --fast              unpaced: as fast as the line allows\n"
    "  --noise             console text between requests\n"
    "  --split             write each request frame in pieces with short pauses\n"
    "  --serial TEXT       print \"Serial number: TEXT\" in the boot banner\n"
    "  --talk-only         print console text and never ask (a loader not in download mode)\n"
    "  --wrong-speed       send bytes that are mostly not text and never ask (a line at the\n"
    "                      wrong speed)\n"
    "  --flood             print console lines back to back at the line rate and never ask\n"
    "                      (a loader stuck in a verbose loop)\n"
    "  --endless-line      print one line that never ends, at the line rate, and never ask\n"
    "  --flood-piece N     with --flood or --endless-line: about N bytes per write (default:\n"
    "                      each line as it is printed)\n"
    "  --program S         print a progress line twice a second for S seconds after the last\n"
    "                      block, before ending the download (a box programming its flash)\n"
    "  --boxes N           N boxes one after another on the same line (default 1)\n"
    "  --hangup-after N    close the line after N image bytes (a pulled cable)\n"
    "  --stop-reading-after N  ask for a block larger than the line holds after N image\n"
    "                      bytes and read no more (a box whose UART stopped)\n"
    "  --silent-after N    send and read nothing more after N image bytes (a frozen box)\n"
    "                      A box that stopped reading or fell silent ends once the tool\n"
    "                      closes its pseudo-terminal (on a tty given with --tty: at Ctrl-C).\n"
    "  --ptys N            N boxes at once, each on a pseudo-terminal of its own\n"
    "  --fail K:KIND:N     with --ptys: the box on pty K fails after N image bytes;\n"
    "                      KIND is hangup, stop-reading or silent\n"
    "  --show-region OFFSET:LENGTH\n"
    "                      the box's own bytes (a unit's data) lie there: they are not\n"
    "                      compared with the image, and each box prints what it received\n"
    "                      there, in hex (\"..\": never received); OFFSET may be 0x hex\n"
    "  --fail-first K:KIND:N  the box on pty K (1 without --ptys) fails its first N boots and\n"
    "                      loads as asked after them; KIND is stall (stops reading half-way),\n"
    "                      silent (falls silent half-way) or talk (never asks)\n"
    "  --power-fifo PATH   the box's power input: a FIFO that takes the lines on and off\n"
    "                      (with --ptys: PATH-1 ... PATH-N, one a box). The box starts powered;\n"
    "                      off cuts it, on boots it again with its banner. A box that failed\n"
    "                      or froze stays so until its power goes off\n"
    "  --power-off MODE    what the line does at off: silent (default: the port stays) or\n"
    "                      hangup (the port vanishes; on brings a new pseudo-terminal, named\n"
    "                      in a \"box on\" line)\n"
    "  --timeout MS        wait for each answer this long (default 3000, plus line time)\n"
    "  --start-timeout S   keep repeating STB_START this many seconds (default 300)\n"
    "  --replay CAPTURE    play the box's side of a capture (stavel --capture) against the\n"
    "                      tool, at the recorded pace (--fast: as the answers come), once\n"
    "                      the tool has opened the line; FILE is the capture's image. Each\n"
    "                      answer is checked against the captured one; the first difference\n"
    "                      is named with its time and request (exit 1)\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "The first line of output names the device for the tool: \"stbsim: box on /dev/pts/N\".\n"
    "Exit status: 0 every answer right (or as captured), 1 a wrong or missing answer, 2 usage\n"
    "error, or an image that is not the capture's.\n";

namespace {

bool ToNumber(const std::string& text, int64_t low, int64_t high, int64_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

// "OFFSET:LENGTH", the offset in decimal or 0x hex, below 4 GiB.
bool ParseRegion(const std::string& text, StbSimOptions& options) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string offset = text.substr(0, colon);
    int64_t at = 0;
    int64_t length = 0;
    const bool hex =
        offset.size() > 2 && offset[0] == '0' && (offset[1] == 'x' || offset[1] == 'X');
    const char* first = offset.data() + (hex ? 2 : 0);
    const char* end = offset.data() + offset.size();
    const auto read = std::from_chars(first, end, at, hex ? 16 : 10);
    if (read.ec != std::errc() || read.ptr != end || at < 0 || at >= (int64_t{1} << 32) ||
        !ToNumber(text.substr(colon + 1), 1, 65536, length)) {
        return false;
    }
    options.regionOffset = at;
    options.regionLength = static_cast<uint32_t>(length);
    return true;
}

// "K:KIND:BYTES", KIND one of hangup, stop-reading, silent.
bool ParseFailure(const std::string& text, StbCommandLine& out, std::string& error) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first == std::string::npos ? 0 : first + 1);
    int64_t pty = 0;
    int64_t bytes = 0;
    error = "--fail wants PTY:hangup|stop-reading|silent:BYTES, not '" + text + "'";
    if (first == std::string::npos || second == std::string::npos ||
        !ToNumber(text.substr(0, first), 1, 64, pty) ||
        !ToNumber(text.substr(second + 1), 0, INT64_MAX, bytes)) {
        return false;
    }
    const std::string kind = text.substr(first + 1, second - first - 1);
    StbCommandLine::Failure failure;
    failure.pty = static_cast<int>(pty);
    failure.bytes = bytes;
    if (kind == "hangup") {
        failure.kind = StbCommandLine::Failure::Kind::HangUp;
    } else if (kind == "stop-reading") {
        failure.kind = StbCommandLine::Failure::Kind::StopReading;
    } else if (kind == "silent") {
        failure.kind = StbCommandLine::Failure::Kind::Silent;
    } else {
        return false;
    }
    error.clear();
    out.failures.push_back(failure);
    return true;
}

// "K:KIND:N", KIND one of stall, silent, talk.
bool ParseGlitch(const std::string& text, StbCommandLine& out, std::string& error) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first == std::string::npos ? 0 : first + 1);
    int64_t pty = 0;
    int64_t boots = 0;
    error = "--fail-first wants PTY:stall|silent|talk:BOOTS, not '" + text + "'";
    if (first == std::string::npos || second == std::string::npos ||
        !ToNumber(text.substr(0, first), 1, 64, pty) ||
        !ToNumber(text.substr(second + 1), 1, 1000000, boots)) {
        return false;
    }
    const std::string kind = text.substr(first + 1, second - first - 1);
    StbCommandLine::Glitch glitch;
    glitch.pty = static_cast<int>(pty);
    glitch.boots = static_cast<int>(boots);
    if (kind == "stall") {
        glitch.kind = StbSimOptions::Glitch::Stall;
    } else if (kind == "silent") {
        glitch.kind = StbSimOptions::Glitch::Silent;
    } else if (kind == "talk") {
        glitch.kind = StbSimOptions::Glitch::Talk;
    } else {
        return false;
    }
    error.clear();
    out.glitches.push_back(glitch);
    return true;
}

}  // namespace

std::string PowerFifoFor(const StbCommandLine& cmd, int pty) {
    if (cmd.powerFifo.empty() || cmd.ptys == 1) {
        return cmd.powerFifo;
    }
    return cmd.powerFifo + "-" + std::to_string(pty);
}

StbSimOptions OptionsForPty(const StbCommandLine& cmd, int pty) {
    StbSimOptions options = cmd.options;
    for (const StbCommandLine::Failure& failure : cmd.failures) {
        if (failure.pty != pty) {
            continue;
        }
        switch (failure.kind) {
            case StbCommandLine::Failure::Kind::HangUp:
                options.hangUpAfterBytes = failure.bytes;
                break;
            case StbCommandLine::Failure::Kind::StopReading:
                options.stopReadingAfterBytes = failure.bytes;
                break;
            case StbCommandLine::Failure::Kind::Silent:
                options.silentAfterBytes = failure.bytes;
                break;
        }
    }
    for (const StbCommandLine::Glitch& glitch : cmd.glitches) {
        if (glitch.pty == pty) {
            options.failFirst = glitch.boots;
            options.glitch = glitch.kind;
        }
    }
    return options;
}

bool ParseStbCommandLine(const std::vector<std::string>& args, StbCommandLine& out,
                         std::string& error) {
    out.options.lineBytesPerSecond = out.baud / 10;
    out.options.startTimeoutMs = 300000;
    bool fast = false, baudGiven = false;
    std::string powerOff;
    // Options taking a number: name -> (low, high, store).
    const std::map<std::string, std::tuple<int64_t, int64_t, std::function<void(int64_t)>>> numeric{
        {"--size", {0, UINT32_MAX, [&](int64_t v) { out.generateSize = v; }}},
        {"--block",
         {1, 65535, [&](int64_t v) { out.options.blockSize = static_cast<uint32_t>(v); }}},
        {"--baud",
         {300, 4000000,
          [&](int64_t v) {
              out.baud = static_cast<uint32_t>(v);
              baudGiven = true;
          }}},
        {"--boxes", {1, 1000000, [&](int64_t v) { out.options.boxes = static_cast<int>(v); }}},
        {"--hangup-after", {0, INT64_MAX, [&](int64_t v) { out.options.hangUpAfterBytes = v; }}},
        {"--stop-reading-after",
         {0, INT64_MAX, [&](int64_t v) { out.options.stopReadingAfterBytes = v; }}},
        {"--silent-after", {0, INT64_MAX, [&](int64_t v) { out.options.silentAfterBytes = v; }}},
        {"--ptys", {1, 64, [&](int64_t v) { out.ptys = static_cast<int>(v); }}},
        {"--flood-piece",
         {1, 65536, [&](int64_t v) { out.options.floodPiece = static_cast<uint32_t>(v); }}},
        {"--timeout",
         {1, 3600000, [&](int64_t v) { out.options.answerTimeoutMs = static_cast<int>(v); }}},
        {"--program",
         {1, 86400, [&](int64_t v) { out.options.programMs = static_cast<int>(v * 1000); }}},
        {"--start-timeout",
         {1, 86400, [&](int64_t v) { out.options.startTimeoutMs = static_cast<int>(v * 1000); }}},
    };
    const std::map<std::string, std::string*> textual{{"--image", &out.imagePath},
                                                      {"--save", &out.savePath},
                                                      {"--tty", &out.tty},
                                                      {"--replay", &out.replayPath},
                                                      {"--power-fifo", &out.powerFifo},
                                                      {"--power-off", &powerOff},
                                                      {"--serial", &out.options.serial}};
    bool talkOnly = false, wrongSpeed = false, flood = false, endless = false;
    const std::map<std::string, bool*> flags{{"--fast", &fast},
                                             {"--talk-only", &talkOnly},
                                             {"--wrong-speed", &wrongSpeed},
                                             {"--flood", &flood},
                                             {"--endless-line", &endless},
                                             {"--noise", &out.options.consoleNoise},
                                             {"--split", &out.options.splitFrames},
                                             {"--help", &out.help},
                                             {"--version", &out.version}};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (auto flag = flags.find(arg); flag != flags.end()) {
            *flag->second = true;
            continue;
        }
        if (arg == "--show-region") {
            if (i + 1 >= args.size() || !ParseRegion(args[++i], out.options)) {
                error = "--show-region wants OFFSET:LENGTH (LENGTH 1..65536)";
                return false;
            }
            continue;
        }
        if (arg == "--fail-first") {
            if (i + 1 >= args.size() || !ParseGlitch(args[++i], out, error)) {
                error = error.empty() ? "--fail-first needs a value" : error;
                return false;
            }
            continue;
        }
        if (arg == "--fail") {
            if (i + 1 >= args.size() || !ParseFailure(args[++i], out, error)) {
                error = error.empty() ? "--fail needs a value" : error;
                return false;
            }
            continue;
        }
        const bool takesValue = numeric.count(arg) || textual.count(arg);
        if (!takesValue) {
            error = "unknown option " + arg;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (auto text = textual.find(arg); text != textual.end()) {
            *text->second = value;
            continue;
        }
        const auto& [low, high, store] = numeric.at(arg);
        int64_t number = 0;
        if (!ToNumber(value, low, high, number)) {
            error = arg + " wants a number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not '" + value + "'";
            return false;
        }
        store(number);
    }
    if (out.help || out.version) {
        return true;
    }
    if (out.imagePath.empty() == (out.generateSize < 0)) {
        error = "give exactly one of --image FILE and --size N";
        return false;
    }
    if (int{talkOnly} + int{wrongSpeed} + int{flood} + int{endless} > 1) {
        error = "--talk-only, --wrong-speed, --flood and --endless-line exclude each other";
        return false;
    }
    out.options.chatter = talkOnly     ? StbSimOptions::Chatter::Talk
                          : wrongSpeed ? StbSimOptions::Chatter::Garbage
                          : flood      ? StbSimOptions::Chatter::Flood
                          : endless    ? StbSimOptions::Chatter::Endless
                                       : StbSimOptions::Chatter::None;
    if (!out.replayPath.empty() && (out.generateSize >= 0 || out.ptys > 1)) {
        error = "--replay plays a capture's box with its image: not with --size or --ptys";
        return false;
    }
    if (fast && baudGiven) {
        error = "--fast and --baud exclude each other";
        return false;
    }
    if (!out.savePath.empty() && out.generateSize < 0) {
        error = "--save goes with --size";
        return false;
    }
    if (!powerOff.empty() && powerOff != "silent" && powerOff != "hangup") {
        error = "--power-off wants silent or hangup, not '" + powerOff + "'";
        return false;
    }
    if (!powerOff.empty() && out.powerFifo.empty()) {
        error = "--power-off goes with --power-fifo";
        return false;
    }
    out.options.powerOffHangsUp = powerOff == "hangup";
    if (!out.powerFifo.empty() && (!out.replayPath.empty() || !out.tty.empty())) {
        error = "--power-fifo switches a box on a pseudo-terminal: not with --replay or --tty";
        return false;
    }
    for (const StbCommandLine::Glitch& glitch : out.glitches) {
        if (glitch.pty > out.ptys) {
            error = "--fail-first names pty " + std::to_string(glitch.pty) + " of " +
                    std::to_string(out.ptys);
            return false;
        }
    }
    for (const StbCommandLine::Failure& failure : out.failures) {
        if (failure.pty > out.ptys) {
            error = "--fail names pty " + std::to_string(failure.pty) + " of " +
                    std::to_string(out.ptys);
            return false;
        }
    }
    if (out.ptys > 1 && !out.tty.empty()) {
        error = "--ptys and --tty exclude each other";
        return false;
    }
    out.options.lineBytesPerSecond = fast ? 0 : out.baud / 10;
    out.fast = fast;
    return true;
}
