// `trq inspect`: the converter's own verdict on recorder files (same messages, same exit
// codes) and the statistics of every channel, without writing anything.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/trq/TrqTestSupport.h"

namespace {

using namespace trqtest;

// The lines of `text` from the one after the first line that equals `after` (or from the
// start when `after` is empty) up to, not including, the first line that starts with two
// blanks; lines equal to `skip` (when given) are left out.
std::vector<std::string> LinesBetween(const std::string& text, const std::string& after,
                                      const char* skip = nullptr) {
    std::vector<std::string> lines;
    bool inside = after.empty();
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!inside) {
            inside = line == after;
            continue;
        }
        if (line.rfind("  ", 0) == 0) break;
        if (skip == nullptr || line != skip) lines.push_back(line);
    }
    return lines;
}

// A header patched after generation: `value` written little-endian at `offset`.
std::string Patched(std::string file, std::size_t offset, int64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        file[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
    return file;
}

std::string Generated(const plqgen::RecordingSpec& spec) {
    const std::vector<unsigned char> bytes = plqgen::MakeRecording(spec);
    return std::string(bytes.begin(), bytes.end());
}

class InspectAgreesWithConverter : public ConvertedArchive {
  protected:
    struct Case {
        std::string name;
        std::string contents;  // the recorder file; none is written for "missing.plq"
    };

    static plqgen::RecordingSpec Small(int16_t format) {
        plqgen::RecordingSpec spec;
        spec.samplesPerChannel = 50;
        spec.sampleFormat = format;
        return spec;
    }

    std::vector<Case> Cases() {
        std::vector<Case> cases;
        cases.push_back({"missing.plq", ""});
        cases.push_back({"short.plq", std::string(255, 'K')});
        cases.push_back({"zeros.plq", std::string(256, '\0')});  // empty system name
        plqgen::RecordingSpec lower = Small(0);
        lower.systemName = "kelvo PLQ-4";
        cases.push_back({"lower.plq", Generated(lower)});
        plqgen::RecordingSpec late = Small(0);
        late.systemName = std::string(36, 'x') + "Kelvo";  // the key after 36 bytes
        cases.push_back({"late.plq", Generated(late)});
        for (int16_t format : {0, 1, 7}) {
            for (int64_t adjustment : {-1, 1}) {
                plqgen::RecordingSpec spec = Small(format);
                spec.sizeAdjustment = adjustment;
                cases.push_back({"size" + std::to_string(format) + "_" +
                                     std::to_string(adjustment + 1) + ".plq",
                                 Generated(spec)});
            }
        }
        const std::string header = Generated(Small(0)).substr(0, 256);
        cases.push_back({"negative.plq", Patched(header, 66, -1, 4)});
        cases.push_back({"huge.plq", Patched(Patched(header, 64, 4, 2), 66, 1 << 30, 4)});
        cases.push_back({"nochannels.plq", Patched(header, 64, 0, 2)});
        plqgen::RecordingSpec empty = Small(1);
        empty.samplesPerChannel = 0;
        cases.push_back({"nosamples.plq", Generated(empty)});
        cases.push_back({"norate.plq", Patched(Generated(Small(0)), 58, 0, 2)});
        cases.push_back({"year10000.plq", Patched(Generated(Small(0)), 44, 10000, 2)});
        cases.push_back({"directory.plq", ""});  // made a directory below
        cases.push_back({"good.plq", Generated(Small(0))});
        return cases;
    }
};

TEST_F(InspectAgreesWithConverter, SameMessagesAndExitCodesForEveryCase) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        if (c.name == "directory.plq") {
            std::filesystem::create_directory(dir_ / c.name);
        } else if (c.name != "missing.plq") {
            WriteFile(dir_ / c.name, c.contents);
        }
        const ProcessResult converter = testsupport::RunProcess(
            testsupport::ConverterPath(), {c.name, "ABC"}, dir_.Path(), catalog_.env);
        const ProcessResult text = Trq({"inspect", c.name});
        const ProcessResult json = Trq({"inspect", "--json", c.name});

        EXPECT_EQ(text.exitCode, converter.exitCode);
        EXPECT_EQ(json.exitCode, converter.exitCode);
        // The converter's lines from the recorder file's open on, but its progress lines.
        const std::string opened = "Convert file " + c.name + " (sta=ABC)...";
        std::vector<std::string> expected = LinesBetween(converter.out, opened, "Read header...");
        expected.erase(std::remove(expected.begin(), expected.end(), "Convert data..."),
                       expected.end());
        if (converter.exitCode == 0) {  // "Done!" and an empty line end a good run
            ASSERT_GE(expected.size(), 2u);
            EXPECT_EQ(expected.back(), "");
            expected.pop_back();
            EXPECT_EQ(expected.back(), "Done!");
            expected.pop_back();
        }
        ASSERT_FALSE(expected.empty()) << converter.out;
        EXPECT_EQ(LinesBetween(text.out, "== " + c.name), expected) << text.out;
        const nlohmann::json doc = nlohmann::json::parse(json.out);
        EXPECT_EQ(doc["files"][0]["console"], nlohmann::json(expected));
        EXPECT_EQ(doc["exitCode"].get<int>() & 0xFF, converter.exitCode);
        EXPECT_EQ(doc["files"][0]["shellExitCode"], converter.exitCode);
        if (converter.exitCode == 0) {
            EXPECT_NE(text.out.find("  result       the converter would convert this file "
                                    "(exit code 0)\n"),
                      std::string::npos);
        } else {
            EXPECT_NE(text.out.find("  result       the converter would end with exit code " +
                                    std::to_string(converter.exitCode - 256) + " (" +
                                    std::to_string(converter.exitCode) + " in a shell)\n"),
                      std::string::npos)
                << text.out;
        }
    }
}

// Several files: every one is reported, and the exit code is that of the first broken one.
TEST_F(InspectAgreesWithConverter, FirstBrokenFileGivesTheExitCode) {
    plqgen::RecordingSpec spec = Small(0);
    WriteFile(dir_ / "good.plq", Generated(spec));
    spec.systemName = "other";
    WriteFile(dir_ / "other.plq", Generated(spec));
    WriteFile(dir_ / "short.plq", "x");
    const ProcessResult result = Trq({"inspect", "good.plq", "other.plq", "short.plq"});
    EXPECT_EQ(result.exitCode, 250);
    EXPECT_NE(result.out.find("== good.plq\n"), std::string::npos);
    EXPECT_NE(result.out.find("== other.plq\n"), std::string::npos);
    EXPECT_NE(result.out.find("== short.plq\nERROR: read file short.plq!!!\n"), std::string::npos);
}

class InspectCommand : public ::testing::Test {
  protected:
    ProcessResult Run(const std::vector<std::string>& args) { return RunTrq(args, dir_.Path()); }
    TempDir dir_;
};

// Gain-ranged words with their exponents, clipped samples at +-1023 x 2^7, names from the
// channel map of ./plq2trq.ini, and nothing written besides.
TEST_F(InspectCommand, GainRangedChannelsWithExponentsAndClippedSamples) {
    plqgen::RecordingSpec spec;
    spec.channelCount = 2;
    spec.samplesPerChannel = 8;
    spec.millisecond = 250;
    spec.rawSamples = {{0x0001, 0x0401, 0x1FFF, 0x8005, 0x6001, 0x8000, 0x9FFF, 0x0C03},
                       {0, 0, 0, 0, 0, 0, 0, 0}};
    plqgen::WriteRecording(dir_ / "rec.plq", spec);
    WriteFile(dir_ / "plq2trq.ini", "[CHANNELMAP]\n1=BHZ\n");
    const ProcessResult result = Run({"inspect", "rec.plq"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    // Channel 1: 1, 2, 130944, -5, 1, -0, -130944, 24.
    const double squares = 1 + 4 + 130944.0 * 130944 + 25 + 1 + 0 + 130944.0 * 130944 + 576;
    char rms[32];
    std::snprintf(rms, sizeof rms, "%.6f", std::sqrt(squares / 8));
    char line1[160];
    std::snprintf(line1, sizeof line1, "  %-4d %-8s %10d %14s %14s %16s %16s\n", 1, "BHZ", 8,
                  "-130944", "130944", "2.875000", rms);
    EXPECT_EQ(result.out,
              "== rec.plq\n"
              "System => Kelvo PLQ-4 recorder\n"
              "year mnt day |  h-mi-s  | sps nch form nsamp\n"
              "2013  10  22 | 13-47-34 | 100  2   0  8\n"
              "  file length  296 bytes, the header announces 296 (matches)\n"
              "  format key   \"Kelvo\" found in the system name\n"
              "  start        2013-10-22 13:47:34.250 UTC\n"
              "  ch   name        samples            min            max             mean         "
              "     rms\n" +
                  std::string(line1) +
                  "  2    CH2               8              0              0         0.000000"
                  "         0.000000\n"
                  "  gain-ranged exponents 0..7 and clipped samples (|value| = 130944):\n"
                  "  1    4 1 0 1 0 0 0 2   clipped 2\n"
                  "  2    8 0 0 0 0 0 0 0   clipped 0\n"
                  "  result       the converter would convert this file (exit code 0)\n");

    const ProcessResult json = Run({"inspect", "--json", "rec.plq"});
    EXPECT_EQ(json.exitCode, 0);
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["ok"], true);
    const nlohmann::json& file = doc["files"][0];
    EXPECT_EQ(file["fileLength"], 296);
    EXPECT_EQ(file["announcedLength"], 296);
    EXPECT_EQ(file["header"]["samplesPerChannel"], 8);
    EXPECT_EQ(file["header"]["millisecond"], 250);
    const nlohmann::json& channel = file["channels"][0];
    EXPECT_EQ(channel["name"], "BHZ");
    EXPECT_EQ(channel["start"], "2013-10-22T13:47:34.250000Z");
    EXPECT_EQ(channel["startEpoch"], k20131022_134734 + 0.25);
    EXPECT_EQ(channel["min"], -130944.0);
    EXPECT_EQ(channel["max"], 130944.0);
    EXPECT_EQ(channel["mean"], 2.875);
    EXPECT_EQ(channel["rms"], std::sqrt(squares / 8));
    EXPECT_EQ(channel["exponentHistogram"], nlohmann::json({4, 1, 0, 1, 0, 0, 0, 2}));
    EXPECT_EQ(channel["clipped"], 2);
    EXPECT_EQ(file["channels"][1]["name"], "CH2");

    // Nothing but the inputs is in the directory.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"plq2trq.ini", "rec.plq"}));
}

// The 32-bit formats: the statistics are those of the decoded values.
TEST_F(InspectCommand, IntegerFormatsGiveTheStatisticsOfTheDecodedValues) {
    for (int16_t format : {1, 2}) {
        SCOPED_TRACE(format);
        plqgen::RecordingSpec spec;
        spec.channelCount = 2;
        spec.samplesPerChannel = 5000;
        spec.sampleFormat = format;
        spec.signal = plqgen::Signal::Noise;
        plqgen::WriteRecording(dir_ / "rec.plq", spec);
        const ProcessResult result = Run({"inspect", "--json", "rec.plq"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const nlohmann::json doc = nlohmann::json::parse(result.out);
        for (int channel = 1; channel <= 2; ++channel) {
            double sum = 0, squares = 0;
            float low = DecodedValue(spec, channel, 0), high = low;
            for (int32_t i = 0; i < 5000; ++i) {
                const float v = DecodedValue(spec, channel, i);
                sum += v;
                squares += double(v) * v;
                low = std::min(low, v);
                high = std::max(high, v);
            }
            const nlohmann::json& c = doc["files"][0]["channels"][channel - 1];
            EXPECT_EQ(c["samples"], 5000);
            EXPECT_EQ(c["min"], low);
            EXPECT_EQ(c["max"], high);
            EXPECT_EQ(c["mean"], sum / 5000);
            EXPECT_EQ(c["rms"], std::sqrt(squares / 5000));
            EXPECT_FALSE(c.contains("exponentHistogram"));
        }
    }
}

}  // namespace
