#include "tests/hosts/cli/CliFixture.h"

#include <cstdio>

#include <filesystem>
#include <regex>

#include "tools/stbsim/TestImage.h"

std::string ConnectedLine(int port) {
    return "Connected COM" + std::to_string(port) + " successfully......\r\n";
}

std::string FilenameLine(const std::string& path, std::uint64_t size) {
    return "Filename = '" + path + "', Size = " + std::to_string(size) + " bytes\r\n";
}

std::string IniAfterConnect(int port) {
    return "[Gerneral]\r\nCOM Port Number=" + std::to_string(port) + "\r\nSdlFileName=\r\n\r\n\r\n";
}

std::vector<std::string> ReportLines(const std::string& path) {
    const std::string text = ReadBytes(path);
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "a torn last line:\n" << text;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// Every record a test reads is first checked against the record's schema in docs/.
void ExpectValidRecords(const std::string& path) {
    const std::string check =
        "python3 -c 'import json, sys, jsonschema\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "for n, line in enumerate(open(sys.argv[2]), 1):\n"
        "    try: jsonschema.validate(json.loads(line), schema)\n"
        "    except jsonschema.ValidationError as e: sys.exit(f\"line {n}: "
        "{e.message}\")\n' " STAVEL_SOURCE_DIR "/docs/record.schema.json '" +
        path + "' 2>&1";
    std::string out;
    if (std::FILE* pipe = popen(check.c_str(), "r")) {
        char buffer[512];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        EXPECT_EQ(pclose(pipe), 0) << "a record does not follow docs/record.schema.json: " << out;
    }
}

std::vector<Json> Records(const std::string& path) {
    ExpectValidRecords(path);
    std::vector<Json> records;
    for (const std::string& line : ReportLines(path)) {
        std::optional<Json> record = ParseJsonObject(line);
        EXPECT_TRUE(record) << "not a JSON object: " << line;
        if (record) {
            records.push_back(std::move(*record));
        }
    }
    return records;
}

std::string CliTest::MakeImage(std::uint64_t size, const std::string& name) {
    m_image = stbsim::MakeTestImage(size);
    const std::string path = m_dir.File(name);
    EXPECT_TRUE(stbsim::WriteImageFile(path, m_image));
    return path;
}

std::vector<std::string> CliTest::StavelServe(const std::string& port, const std::string& image,
                                              std::vector<std::string> extra) const {
    std::vector<std::string> args{
        ProgramPath("stavel"), "--port", port, "--image", image, "--ini", IniPath()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

int AssignedPort(const std::string& stderrText, const std::string& path) {
    const std::regex line("stavel: COM([0-9]+) stands for (.*)\n");
    std::smatch m;
    if (std::regex_search(stderrText, m, line) && m[2] == path) {
        return std::stoi(m[1]);
    }
    return 0;
}

int WaitConnected(ChildProcess& tool, const std::string& device, int times) {
    EXPECT_TRUE(tool.WaitForStdout(kPleaseConnect, times)) << tool.Stdout() << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), device);
    EXPECT_TRUE(tool.WaitForStdout(ConnectedLine(port), times + 1)) << tool.Stdout();
    return port;
}
