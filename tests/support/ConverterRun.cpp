#include "tests/support/ConverterRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

namespace testsupport {
namespace {

// "kind line" for each line of `text`, but the batch's progress lines.
void AddLines(std::vector<std::string>& lines, const std::string& kind, const std::string& text) {
    static const std::regex progress(R"(\d+/\d+ recordings, [0-9.]+ MB/s, \d+ s left)");
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (std::regex_match(line, progress)) continue;
        lines.push_back(kind + (line.empty() ? "" : " " + line));
    }
    if (!text.empty() && text.back() != '\n') lines.back() += " (no newline at the end)";
}

plqgen::RecordingSpec Recording(const std::vector<std::string>& words) {
    plqgen::RecordingSpec spec;
    spec.samplesPerChannel = 1000;
    spec.sampleFormat = 2;
    spec.signal = plqgen::Signal::Ramp;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::string& word = words[i];
        const std::string value = word.substr(word.find('=') + 1);
        if (word == "sine") spec.signal = plqgen::Signal::Sine;
        if (word.starts_with("samples=")) spec.samplesPerChannel = std::stoi(value);
        if (word.starts_with("format=")) spec.sampleFormat = static_cast<int16_t>(std::stoi(value));
        if (word.starts_with("sps="))
            spec.samplesPerSecond = static_cast<int16_t>(std::stoi(value));
        if (word.starts_with("year=")) spec.year = static_cast<int16_t>(std::stoi(value));
    }
    return spec;
}

}  // namespace

std::string ConverterRun::Expanded(std::string text) const {
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"@ARCHIVE@", ws_.ArchiveDir()},
          {"@USER@", ws_.Catalog().user},
          {"@PID@", std::to_string(::getpid())}}) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

ConverterRun::~ConverterRun() {
    for (int held : heldLocks_) ::close(held);
}

void ConverterRun::Perform(const ScriptCase& c) {
    for (const std::string& line : c.steps) {
        ASSERT_NO_FATAL_FAILURE(Step(line));
        if (::testing::Test::IsSkipped()) return;
    }
}

void ConverterRun::Step(const std::string& line) {
    std::vector<std::string> words = Fields(Expanded(line));
    for (std::string& word : words) {
        for (std::size_t at; (at = word.find("{BLANK}")) != std::string::npos;)
            word.replace(at, 7, " ");
    }
    const std::string& verb = words[0];
    const std::string path = words.size() < 2            ? ""
                             : words[1].starts_with('/') ? words[1]
                                                         : ws_.Path(words[1]);
    if (verb == "golden") {
        std::filesystem::copy_file(PLQ_SOURCE_DIR "/tests/golden/rec.plq", path);
    } else if (verb == "recording") {
        spec_ = Recording(words);
        ws_.WriteRecording(words[1], spec_);
    } else if (verb == "convert") {
        const ProcessResult result = ws_.Convert(words[1], words.size() > 2 ? words[2] : "ABC");
        ASSERT_EQ(result.exitCode, 0);
        ASSERT_EQ(result.err, "");
    } else if (verb == "flip-last" || verb == "resize" || verb == "append" || verb == "poke") {
        std::string bytes = ReadFile(path);
        if (verb == "flip-last") bytes.back() ^= 0x40;
        if (verb == "resize") bytes.resize(std::stoul(words[2]));
        if (verb == "append") bytes += words[2];
        if (verb == "poke") bytes.replace(std::stoul(words[2]), words[3].size(), words[3]);
        WriteFile(path, bytes);
    } else if (verb == "remove") {
        std::filesystem::remove(path);
    } else if (verb == "write") {
        WriteFile(path, words[2]);
    } else if (verb == "mkdir") {
        std::filesystem::create_directories(path);
    } else if (verb == "mkfifo") {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else if (verb == "channels") {
        ws_.WriteIni(ws_.IniText(ws_.ArchiveDir(), "[CHANNELMAP]\n" + words[1]));
    } else if (verb == "trq-ini") {
        ws_.WriteTrqIni(ws_.IniText(ws_.ArchiveDir(), ""));
    } else if (verb == "ini") {
        WriteFile(ws_.Path("plq2trq.ini"), words[1] + "\n" + ReadFile(ws_.Path("plq2trq.ini")));
    } else if (verb == "sql") {
        std::string statement;
        for (std::size_t i = 1; i < words.size(); ++i) statement += words[i] + " ";
        ExecuteSql(ws_.Catalog(), statement);
    } else if (verb == "database") {
        const std::string ini = ws_.Dir() / "odbc/odbc.ini";
        WriteFile(ini, std::regex_replace(ReadFile(ini), std::regex("\nDatabase=[^\n]*"),
                                          "\nDatabase=" + path));
    } else if (verb == "hold-lock") {
        std::filesystem::create_directories(ws_.ArchiveDir() + "/" + words[1]);
        const std::string lock = ws_.ArchiveDir() + "/" + words[1] + "/.plq2trq.lock";
        heldLocks_.push_back(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        ASSERT_EQ(::flock(heldLocks_.back(), LOCK_EX), 0);
    } else if (verb == "read-only") {
        if (RunProcess("/usr/bin/unshare", {"--mount", "true"}, ws_.Dir().Path()).exitCode != 0)
            GTEST_SKIP() << "no mount namespace can be made here";
        readOnly_ = path;
    } else if (verb == "plq2trq") {
        const auto report = std::find(words.begin(), words.end(), "--report");
        report_ = report != words.end() && report + 1 != words.end() ? ws_.Path(report[1]) : "";
        std::vector<std::string> args(words.begin() + 1, words.end());
        std::string program = ConverterPath();
        if (!readOnly_.empty()) {
            // A bind mount of the path onto itself, read-only, seen by this run alone.
            args.insert(args.begin(),
                        {"--mount", "sh", "-c", "mount -o bind,ro \"$0\" \"$0\" && exec \"$@\"",
                         readOnly_, program});
            program = "/usr/bin/unshare";
        }
        result_ = RunProcess(program, args, ws_.Dir().Path(), ws_.Env());
        runLines_.push_back("exit " + std::to_string(result_.exitCode));
        AddLines(runLines_, "out", result_.out);
        AddLines(runLines_, "err", result_.err);
    } else {
        FAIL() << "unknown step: " << line;
    }
}

std::vector<std::string> ConverterRun::Lines() const {
    std::vector<std::string> lines = runLines_;
    if (!std::filesystem::is_directory(ws_.ArchiveDir())) {
        lines.push_back("no archive directory");
    } else {
        for (const auto& [file, state] : ws_.ArchiveFiles()) lines.push_back("file " + file);
    }
    if (report_.empty()) return lines;
    const auto report = nlohmann::ordered_json::parse(ReadFile(report_));
    for (const auto& [key, value] : report.items()) {
        for (const auto& item : value.is_array() ? value : nlohmann::ordered_json::array({value}))
            lines.push_back("report " + key + " " + item.dump());
    }
    return lines;
}

std::vector<std::string> ConverterRun::Expected(const ScriptCase& c) const {
    std::vector<std::string> expected;
    for (const std::string& line : c.expected) expected.push_back(Expanded(line));
    return expected;
}

void RunCase(const ScriptCase& c) {
    Workspace ws;
    ConverterRun run(ws);
    ASSERT_NO_FATAL_FAILURE(run.Perform(c));
    if (::testing::Test::IsSkipped()) return;
    EXPECT_EQ(run.Lines(), run.Expected(c));
}

}  // namespace testsupport
