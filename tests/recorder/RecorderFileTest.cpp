// Recorder files: the header field by field and as its dump lines, the sample encodings
// against the independent decoder of tests/support/Bytes.h, the channel loop on files written
// by the generator, and the channel map read from ini text.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/BinaryFile.h"
#include "platform/IniFile.h"
#include "recorder/ChannelMap.h"
#include "recorder/plq/ChannelLoop.h"
#include "recorder/plq/RecorderHeader.h"
#include "recorder/plq/SampleDecoding.h"
#include "tests/support/Bytes.h"
#include "tests/support/CaseScript.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/TempDir.h"

using namespace platform;
using namespace testsupport;

namespace {

// 256 header bytes: `name` from offset 0, then 16-bit words from offset 36 on.
std::string HeaderBytes(const std::string& name, const std::vector<int>& words) {
    std::string bytes(kRecorderHeaderSize, '\0');
    bytes.replace(0, name.size(), name);
    for (std::size_t i = 0; i < words.size(); ++i) {
        PutLittleEndian(bytes, 36 + 2 * i, uint16_t(words[i]), 2);
    }
    return bytes;
}

RecorderHeader Decode(const std::string& bytes) {
    unsigned char raw[kRecorderHeaderSize];
    std::memcpy(raw, bytes.data(), sizeof raw);
    return DecodeRecorderHeader(raw);
}

TEST(RecorderHeader, EveryFieldFromItsOffsetLittleEndianAndSigned) {
    std::string bytes =
        HeaderBytes("Kelvo", {0x0102, -2, 0x7FFF, -32768, 2013, 0x0B0A, -22, 0x0D0C, 0x0F0E, 0x1110,
                              0x1312, 0x1514, -3, 0x1716, -1, 0xBA98, 0xFEDC, -7, 0x1918});
    bytes[74] = '\xFF';  // not interpreted
    const RecorderHeader h = Decode(bytes);
    EXPECT_STREQ(h.systemName, "Kelvo");
    EXPECT_EQ((std::vector<int>{h.reserved36, h.reserved38, h.reserved40, h.reserved42, h.year,
                                h.month, h.day, h.hour, h.minute, h.second, h.millisecond,
                                h.samplesPerSecond, h.reserved60, h.reserved62, h.channelCount,
                                h.samplesPerChannel, h.sampleFormat, h.reserved72}),
              (std::vector<int>{0x0102, -2, 0x7FFF, -32768, 2013, 0x0B0A, -22, 0x0D0C, 0x0F0E,
                                0x1110, 0x1312, 0x1514, -3, 0x1716, -1, -19088744, -7, 0x1918}));
}

TEST(RecorderHeader, SystemNameFormatKeyAndYear) {
    // The name's bytes from offset 0 and the name decoded; the key is found in the latter.
    const std::pair<std::string, std::string> names[] = {
        {std::string(40, 'N'), std::string(36, 'N')},
        {std::string("ab\0Kelvo", 8), "ab"},
        {"kelvo KELVO Kelv o rec Kelvo", "kelvo KELVO Kelv o rec Kelvo"},
        {"kelvo KELVO Kelv o", "kelvo KELVO Kelv o"},
        {std::string(31, '-').append("Kelvo"), std::string(31, '-').append("Kelvo")},
        {std::string(32, '-').append("Kelvo"), std::string(32, '-').append("Kelv")},
    };
    for (const auto& [bytes, decoded] : names) {
        const RecorderHeader h = Decode(HeaderBytes(bytes, {}));
        EXPECT_EQ(h.systemName, decoded);
        EXPECT_EQ(HasFormatKey(h), decoded.find("Kelvo") != std::string::npos) << decoded;
    }
    const int years[][2] = {{0, 2000},  {13, 2013},   {90, 2090}, {91, 1991},   {99, 1999},
                            {-1, 1999}, {-100, 1900}, {100, 100}, {2013, 2013}, {32767, 32767}};
    for (auto [stored, widened] : years) {
        EXPECT_EQ(Decode(HeaderBytes("", {0, 0, 0, 0, stored})).year, widened) << stored;
    }
}

// A header of fewer than 256 bytes yields 1, and the header and console stay untouched.
TEST(RecorderHeader, ReadPrintsTheDumpLinesAndAShortFileLeavesEverything) {
    const std::string kColumns = "year mnt day |  h-mi-s  | sps nch form nsamp\n";
    const std::pair<std::string, std::string> rows[] = {
        // the file, the dump lines
        {HeaderBytes("Kelvo PLQ-4",
                     {0, 0, 0, 0, 13, 10, 22, 13, 47, 34, 250, 100, 0, 0, 3, 0x7E40, 5}) +
             "rest of the file",
         "System => Kelvo PLQ-4\n" + kColumns + "2013  10  22 | 13-47-34 | 100  3   0  360000\n"},
        {HeaderBytes("", {0, 0, 0, 0, 2100, 0, 123, -5, 7, 60, 0, -1, 0, 0, 100, -1, -1, -7}),
         "System => \n" + kColumns + "2100   0  123 | -5-07-60 |  -1 100  -7  -1\n"},
        {HeaderBytes("Kelvo", {0, 0, 0, 0, 13, 10}).substr(0, 255), ""},
    };
    for (const auto& [bytes, printed] : rows) {
        TempDir dir;
        WriteFile(dir / "h.plq", bytes);
        BinaryFile file = BinaryFile::OpenReadOnly(dir / "h.plq");
        RecorderHeader header{.month = 99};
        ConsoleLines console;
        EXPECT_EQ(ReadRecorderHeader(file, header), printed.empty() ? 1 : 0) << bytes.size();
        EXPECT_EQ(console.out, printed) << bytes.size();
        EXPECT_EQ(header.month == 99, printed.empty()) << bytes.size();
    }
}

std::vector<float> DecodeAtOddAddress(int format, const std::string& stored, std::size_t count) {
    const std::string raw = "\xAA" + stored + std::string(8, '\x01');  // more than `count`
    std::vector<float> samples(count + 1, 7.0f);
    DecodeSamples(format, reinterpret_cast<const unsigned char*>(raw.data()) + 1, count,
                  samples.data());
    EXPECT_EQ(samples.back(), 7.0f) << "format " << format << ": wrote past the count";
    samples.pop_back();
    return samples;
}

TEST(SampleDecoding, EveryGainRangedWordMatchesTheReference) {
    std::string words;
    for (uint32_t word = 0; word < 65536; ++word) PutLittleEndian(words, 2 * word, word, 2);
    const std::vector<float> samples = DecodeAtOddAddress(0, words, 65536);
    for (uint32_t word = 0; word < 65536; ++word) {  // stops at the first wrong word
        const auto expected = float(ReferenceValue(0, int32_t(word)));
        ASSERT_EQ(std::bit_cast<uint32_t>(samples[word]), std::bit_cast<uint32_t>(expected))
            << std::hex << "word 0x" << word << ": " << samples[word];
    }
}

// Format 1 negates, with 0 giving +0.0 (the sign bit clear) and INT32_MIN giving +2^31;
// every other code is a plain int32. Values round to the nearest float, ties to even.
TEST(SampleDecoding, Int32FormatsNegatedOrPlain) {
    const int32_t values[] = {0, 5, -7, INT32_MIN, INT32_MAX, 16777217, 16777219, 0x04030201};
    const float negated[] = {+0.0f,    -5.0f,        7.0f,         0x1p31f,
                             -0x1p31f, -16777216.0f, -16777220.0f, -67305984.0f};
    std::string stored;
    for (int32_t value : values) PutLittleEndian(stored, stored.size(), uint32_t(value), 4);
    for (int format : {1, 2, 3, -1, 32767, -32768}) {
        const std::vector<float> samples = DecodeAtOddAddress(format, stored, std::size(values));
        for (std::size_t i = 0; i < std::size(values); ++i) {
            const float expected =
                format == 1 ? negated[i] : float(ReferenceValue(format, values[i]));
            EXPECT_EQ(std::bit_cast<uint32_t>(samples[i]), std::bit_cast<uint32_t>(expected))
                << "format " << format << ", stored " << values[i] << ": " << samples[i];
        }
    }
    EXPECT_EQ(DecodeAtOddAddress(1, stored, 0).size(), 0u);
}

// The recording of a case of channel-loop.cases, the header as generated.
plqgen::RecordingSpec LoopRecording(const std::vector<std::string>& steps) {
    plqgen::RecordingSpec spec;
    spec.samplesPerChannel = 5;
    spec.signal = plqgen::Signal::Ramp, spec.millisecond = 250;
    for (const std::string& step : steps) {
        if (!step.starts_with("recording ")) continue;
        for (const std::string& field : Fields(step.substr(10))) {
            const std::string key = field.substr(0, field.find('='));
            const auto value = static_cast<int16_t>(std::stoi(field.substr(key.size() + 1)));
            if (key == "format") spec.sampleFormat = value;
            if (key == "size") spec.sizeAdjustment = value;
            if (key == "samples") spec.samplesPerChannel = value;
            if (key == "channels") spec.channelCount = value;
            if (key == "sps") spec.samplesPerSecond = value;
            if (key == "year") spec.year = value;
            if (key == "month") spec.month = value;
            if (key == "day") spec.day = value;
            if (key == "hour") spec.hour = value;
        }
    }
    return spec;
}

class ChannelLoop : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ChannelLoop, EachBlockFromItsPlaceOrTheRefusal) {
    const ScriptCase& c = GetParam();
    SCOPED_TRACE(c.title);
    const plqgen::RecordingSpec spec = LoopRecording(c.steps);
    const std::vector<unsigned char> made = plqgen::MakeRecording(spec);
    std::string bytes(made.begin(), made.end()), map = "[CHANNELMAP]\n";
    bool shrink = false;
    for (const std::string& step : c.steps) {
        if (step.starts_with("announce ")) {
            PutLittleEndian(bytes, 66, std::stoul(step.substr(9)), 4);
        }
        if (step.starts_with("map ")) map += step.substr(4);
        shrink = shrink || step == "shrink";
    }
    TempDir dir;
    WriteFile(dir / "rec.plq", bytes);
    BinaryFile file = BinaryFile::OpenReadOnly(dir / "rec.plq");
    ChannelMap channels;
    LoadChannelMap(channels, IniFile::Parse(map), "map.ini");
    std::string names;
    int channel = 0;
    const SampleReceiver receiver = [&](const char* station, const char* name, double rate,
                                        EpochSeconds start, int32_t count, const float* got) {
        names += (channel++ == 0 ? "" : ",") + std::string(name);
        EXPECT_EQ(std::string(station) + " " + std::to_string(rate), "STA 100.000000");
        EXPECT_TRUE(spec.year != 13 || start == 1382449654.25) << start;
        EXPECT_EQ(std::vector<float>(got, got + count),
                  ReferenceSamples(spec, channel, 0, spec.samplesPerChannel))
            << "channel " << channel;
        if (shrink) std::filesystem::resize_file(dir / "rec.plq", 256 + 14 + 13);
    };
    // The archive's rule stands in here: a name with a '/' is refused.
    const ChannelNameRule noSlash = [](std::string_view n) { return n.find('/') == n.npos; };
    std::vector<std::string> got;
    {
        ConsoleLines checkFirst;  // the same refusal as ConvertChannels', printed once more
        got.push_back("checked " +
                      std::to_string(CheckRecording(file, Decode(bytes), channels, noSlash)));
    }
    ConsoleLines console;
    got.push_back("code " + std::to_string(ConvertChannels(receiver, file, Decode(bytes), "STA",
                                                           channels, "rec.plq", noSlash)));
    if (!console.out.empty())
        got.push_back("printed " + console.out.substr(0, console.out.size() - 1));
    got.push_back(names.empty() ? "names" : "names " + names);
    EXPECT_EQ(got, c.expected);
}

CASE_TABLE(channel_loop, ChannelLoop, ReadCaseScript("tests/recorder/channel-loop.cases"));

// The map as "number=name" in number order, separated by blanks.
std::string Listed(const ChannelMap& map) {
    std::string text;
    for (const auto& [number, name] : std::map(map.names.begin(), map.names.end())) {
        text += (text.empty() ? "" : " ") + std::to_string(number) + "=" + name;
    }
    return text;
}

class ChannelMapKeys : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ChannelMapKeys, KeysLikeAtoiIn16BitsLaterEntriesWinNamesCut) {
    const ScriptCase& c = GetParam();
    const std::string section = c.steps.at(0) == "section" ? "" : c.steps.at(0);
    ChannelMap map{{{60000, "KEEP"}}};  // stays when nothing is loaded
    const bool loaded = LoadChannelMap(map, IniFile::Parse("[CHANNELMAP]\n" + section), "map.ini");
    EXPECT_STREQ(FindChannelName(map, 60000 - 65536), "KEEP") << c.title;  // low 16 bits
    map.names.erase(60000);
    EXPECT_EQ(loaded ? Listed(map) : "nothing loaded", c.expected.at(0)) << c.title;
    EXPECT_EQ(loaded, !map.names.empty()) << c.title;
}

CASE_TABLE(channel_map, ChannelMapKeys, ReadCaseScript("tests/recorder/channel-map.cases"));

// Key names of 37 bytes take 38 in the key list, which ends with one more NUL: after 420 of
// them, 39 bytes are left, too few for the key 10421 of 38 bytes but just enough for 10422.
// The other 79 keys are dropped with a notice.
TEST(ChannelMap, KeyNamesBeyondTheCapacityAreDroppedWithANotice) {
    std::string ini = "[CHANNELMAP]\n", listed;
    for (int key = 10001; key <= 10500; ++key) {
        ini += std::string(key == 10421 ? 33 : 32, '0') + std::to_string(key) + "=N\n";
        if (key <= 10420 || key == 10422)
            listed += (listed.empty() ? "" : " ") + std::to_string(key) + "=N";
    }
    ChannelMap map;
    ConsoleLines console;
    ASSERT_TRUE(LoadChannelMap(map, IniFile::Parse(ini), "dir/map.ini"));
    EXPECT_EQ(Listed(map), listed);
    EXPECT_EQ(console.notices, std::vector<std::string>{"79 entries of [CHANNELMAP] in dir/map.ini "
                                                        "were dropped: the channel map holds 15999 "
                                                        "bytes of key names"});
}

}  // namespace
