#include "hosts/cli/StationCtl.h"

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "slot/ExitStatus.h"
#include "station/StationControl.h"

namespace {

int Refused(const std::string& why) {
    WriteStderr("stavel: " + EscapeName(why) + "\n");
    return kExitUsage;
}

}  // namespace

int RunStationCtl(const std::vector<std::string>& args) {
    const bool scan = args.size() >= 2 && args[1] == "scan";
    if (args.size() < 2 || args.size() > (scan ? 4 : 3)) {
        return Refused(
            "--station-ctl takes NAME and put-back SLOT, take-out SLOT, scan [SLOT] "
            "ID, reprint SLOT, finish or status");
    }
    std::string request = args[1];
    for (std::size_t i = 2; i < args.size(); ++i) {
        request += " " + args[i];
    }
    if (request.find('\n') != std::string::npos) {
        return Refused("a request is one line");
    }
    const Result<std::string> reply = AskStation(args[0], request);
    if (!reply) {
        return Refused(reply.Failure().Describe());
    }
    if (reply->starts_with("error: ")) {
        return Refused(args[0] + ": " + reply->substr(7));
    }
    WriteStdout(*reply + "\n");
    return kExitPass;
}
