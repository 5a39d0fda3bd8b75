#include "tests/support/ConverterRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

namespace testsupport {
namespace {

// "kind line" for each line of `text`.
void AddLines(std::vector<std::string>& lines, const std::string& kind, const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
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
          {"@USER@", ws_.Catalog().user}}) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

void ConverterRun::Perform(const ScriptCase& c) {
    for (const std::string& line : c.steps) ASSERT_NO_FATAL_FAILURE(Step(line));
}

void ConverterRun::Step(const std::string& line) {
    const std::vector<std::string> words = Fields(Expanded(line));
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
    } else if (verb == "plq2trq") {
        const auto report = std::find(words.begin(), words.end(), "--report");
        report_ = report != words.end() && report + 1 != words.end() ? ws_.Path(report[1]) : "";
        result_ = RunProcess(ConverterPath(), {words.begin() + 1, words.end()}, ws_.Dir().Path(),
                             ws_.Env());
    } else {
        FAIL() << "unknown step: " << line;
    }
}

std::vector<std::string> ConverterRun::Lines() const {
    std::vector<std::string> lines = {"exit " + std::to_string(result_.exitCode)};
    AddLines(lines, "out", result_.out);
    AddLines(lines, "err", result_.err);
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
    EXPECT_EQ(run.Lines(), run.Expected(c));
}

}  // namespace testsupport
