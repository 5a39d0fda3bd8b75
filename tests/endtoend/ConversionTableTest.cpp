// One table of converter runs: a recorder file and settings in; the exit code, standard
// output, the archive files and the catalog rows out. Every case also runs `trq inspect`
// on the same file, which must reach the converter's verdict. Case ids are printed on
// failure (numbered like SQLite's test rows, so that a failing case can be named).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "tests/support/Bytes.h"
#include "tests/support/Workspace.h"

using namespace testsupport;

namespace {

const std::string kDump = "year mnt day |  h-mi-s  | sps nch form nsamp\n";
const std::string kDefaultDump = kDump + "2013  10  22 | 13-47-34 | 100  3   2  1000\n";
const std::string kWrongSize = "Convert data...\nERROR: Wrong file size!!!\n";

// A small recording: three channels of 1000 samples at 100 sps from 2013-10-22 13:47:34,
// plain int32 (format 2) of a ramp, so that every value tells its channel and place.
plqgen::RecordingSpec Small() {
    plqgen::RecordingSpec spec;
    spec.samplesPerChannel = 1000;
    spec.sampleFormat = 2;
    spec.signal = plqgen::Signal::Ramp;
    return spec;
}

// What an archive file of `spec`'s channel must hold: the header text of the archive
// format for the recording's start (a literal time and date) and the samples decoded by
// the reference decoder.
std::string ExpectedFile(const plqgen::RecordingSpec& spec, int channel, const std::string& name,
                         const std::string& station, const std::string& timeDate) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "[TRQ5.x]\r\nData offset=512\r\n%s\r\nTime duration=00 00 00\r\nData "
                  "Type=FLOAT\r\nSpS=%d.000000\r\nGain=1\r\nStation=%s\r\nChannels=\"%s\"\r\n",
                  timeDate.c_str(), spec.samplesPerSecond, station.c_str(), name.c_str());
    return PaddedHeader(text) +
           FloatBytes(ReferenceSamples(spec, channel, 0, spec.samplesPerChannel));
}

struct Case {
    const char* id;
    const char* what;
    std::function<void(const Workspace&)> prepare;  // writes rec.plq (and settings)
    std::string station = "ABC";
    std::string stored = "ABC";  // the station name as the run keeps it
    int exitCode = 0;
    std::string out;  // standard output after "Convert file rec.plq (sta=...)...\n"
    // Files expected, relative to the archive directory, with the recording they come from; the
    // channel names are the map's BHZ, BHN, BHE.
    std::string filePrefix;  // e.g. "ABC/22102013-134734-" (empty: no files)
    plqgen::RecordingSpec spec = Small();
    std::vector<std::string> names = {"BHZ", "BHN", "BHE"};  // the channels' archive names
    std::string recording = "rec.plq";
};

void WriteSpec(const Workspace& ws, const plqgen::RecordingSpec& spec) {
    ws.WriteRecording("rec.plq", spec);
}

std::function<void(const Workspace&)> With(std::function<void(plqgen::RecordingSpec&)> change) {
    return [change](const Workspace& ws) {
        plqgen::RecordingSpec spec = Small();
        change(spec);
        WriteSpec(ws, spec);
    };
}

std::function<void(const Workspace&)> Bytes(std::function<void(std::string&)> change) {
    return [change](const Workspace& ws) {
        const std::vector<unsigned char> made = plqgen::MakeRecording(Small());
        std::string bytes(made.begin(), made.end());
        change(bytes);
        WriteFile(ws.Path("rec.plq"), bytes);
    };
}

std::function<void(const Workspace&)> Map(const std::string& channelMap) {
    return [channelMap](const Workspace& ws) {
        WriteSpec(ws, Small());
        ws.WriteIni(ws.IniText(ws.ArchiveDir(), "[CHANNELMAP]\n" + channelMap));
    };
}

const std::string kDone = "Read header...\nSystem => Kelvo PLQ-4 recorder\n" + kDefaultDump +
                          "Convert data...\nDone!\n\n";
const std::string kRead = "Read header...\nSystem => Kelvo PLQ-4 recorder\n";

std::vector<Case> Cases() {
    const std::string utf8 = [] {
        std::string s;
        for (int i = 0; i < 16; ++i) s += "\xC3\xBC";  // 32 bytes of ü
        return s;
    }();
    const std::string utf8Kept = utf8.substr(0, 30);
    const std::string longKept(31, 's');
    plqgen::RecordingSpec format0 = Small(), format1 = Small(), year99 = Small();
    format0.sampleFormat = 0;
    format0.signal = plqgen::Signal::Sine;
    format1.sampleFormat = 1;
    year99.year = 99;
    return {
        {"1.1", "converted", With([](auto&) {}), "ABC", "ABC", 0, kDone, "ABC/22102013-134734-"},
        {"1.2", "gain-ranged words", With([format0](auto& s) { s = format0; }), "ABC", "ABC", 0,
         kRead + kDump + "2013  10  22 | 13-47-34 | 100  3   0  1000\nConvert data...\nDone!\n\n",
         "ABC/22102013-134734-", format0},
        {"1.3", "negated int32", With([format1](auto& s) { s = format1; }), "ABC", "ABC", 0,
         kRead + kDump + "2013  10  22 | 13-47-34 | 100  3   1  1000\nConvert data...\nDone!\n\n",
         "ABC/22102013-134734-", format1},
        {"1.4", "two-digit year 99 is 1999", With([year99](auto& s) { s = year99; }), "ABC", "ABC",
         0,
         kRead + kDump + "1999  10  22 | 13-47-34 | 100  3   2  1000\nConvert data...\nDone!\n\n",
         "ABC/22101999-134734-", year99},
        {"1.5", "station cut to 31 bytes", With([](auto&) {}), std::string(40, 's'), longKept, 0,
         kDone, longKept + "/22102013-134734-"},
        {"1.6", "UTF-8 station cut between characters", With([](auto&) {}), utf8, utf8Kept, 0,
         kDone, utf8Kept + "/22102013-134734-"},
        {"2.1", "missing file", [](const Workspace&) {}, "ABC", "ABC", -4,
         "ERROR: open file rec.plq!!!\n", ""},
        {"2.2", "directory",
         [](const Workspace& ws) { std::filesystem::create_directory(ws.Path("rec.plq")); }, "ABC",
         "ABC", -4, "ERROR: open file rec.plq!!!\n", ""},
        {"2.3", "FIFO", [](const Workspace& ws) { ::mkfifo(ws.Path("rec.plq").c_str(), 0600); },
         "ABC", "ABC", -4, "ERROR: open file rec.plq!!!\n", ""},
        {"2.4", "shorter than a header", Bytes([](auto& b) { b.resize(255); }), "ABC", "ABC", -5,
         "Read header...\nERROR: read file rec.plq!!!\n", ""},
        {"2.5", "key in other letter case", Bytes([](auto& b) { b[0] = 'k'; }), "ABC", "ABC", -6,
         "Read header...\nSystem => kelvo PLQ-4 recorder\n" + kDefaultDump +
             "ERROR: file rec.plq is not PLQ-format (not found key \"Kelvo\")!!!\nkelvo PLQ-4 "
             "recorder\n",
         ""},
        {"2.6", "one byte too many", Bytes([](auto& b) { b += 'x'; }), "ABC", "ABC", -5,
         kRead + kDefaultDump + kWrongSize, ""},
        {"2.7", "one byte short", Bytes([](auto& b) { b.pop_back(); }), "ABC", "ABC", -5,
         kRead + kDefaultDump + kWrongSize, ""},
        {"2.8", "negative sample count", With([](auto& s) { s.samplesPerChannel = -2; }), "ABC",
         "ABC", -5, kRead + kDump + "2013  10  22 | 13-47-34 | 100  3   2  -2\n" + kWrongSize, ""},
        {"2.9", "no sample rate", With([](auto& s) { s.samplesPerSecond = 0; }), "ABC", "ABC", -5,
         kRead + kDump +
             "2013  10  22 | 13-47-34 |   0  3   2  1000\nConvert data...\nERROR: "
             "Wrong sample rate!!!\n",
         ""},
        {"2.10", "start past 9999", With([](auto& s) { s.year = 10000; }), "ABC", "ABC", -5,
         kRead + kDump +
             "10000  10  22 | 13-47-34 | 100  3   2  1000\nConvert data...\nERROR: "
             "Wrong start time!!!\n",
         ""},
        {"3.1", "two channels named alike", Map("1=BHZ\n2=bhz\n3=BHE\n"), "ABC", "ABC", -11,
         kRead + kDefaultDump +
             "Convert data...\nERROR: channels 1 and 2 have the same name bhz!!!\n",
         ""},
        {"3.2", "channel name with a separator", Map("1=BHZ\n2=../Z\n3=BHE\n"), "ABC", "ABC", -12,
         kRead + kDefaultDump + "Convert data...\nERROR: bad channel name ../Z!!!\n", ""},
        {"3.3", "later map entry wins", Map("1=BHZ\n2=XXX\n3=BHE\n2=BHN\n"), "ABC", "ABC", 0, kDone,
         "ABC/22102013-134734-"},
        {"3.4",
         "a name that begins the next one",
         Map("1=BH\n2=BHZ\n3=B\n"),
         "ABC",
         "ABC",
         0,
         kDone,
         "ABC/22102013-134734-",
         Small(),
         {"BH", "BHZ", "B"}},
        {"3.5",
         "an empty name first",
         Map("1=\n2=BHN\n3=BHE\n"),
         "ABC",
         "ABC",
         0,
         kDone,
         "ABC/22102013-134734-",
         Small(),
         {"", "BHN", "BHE"}},
        {"4.1", "a % in the station name", With([](auto&) {}), "%d%s%%", "%d%s%%", 0, kDone,
         "%d%s%%/22102013-134734-"},
        {"4.2",
         "a % in the recorder path",
         [](const Workspace&) {},
         "ABC",
         "ABC",
         -4,
         "ERROR: open file r%d%s%%.plq!!!\n",
         "",
         Small(),
         {},
         "r%d%s%%.plq"},
    };
}

// The reason each failing case gives on standard error (and the warnings of others).
std::map<std::string, std::string> Reasons() {
    const std::string utf8Kept = [] {
        std::string kept;
        for (int i = 0; i < 15; ++i) kept += "\xC3\xBC";
        return kept;
    }();
    // Station names the toolkit cannot put into miniSEED are converted with a warning.
    auto notSeed = [](const std::string& station) {
        return "plq2trq: warning: the station name " + station +
               " cannot be a miniSEED station code (1 to 5 letters and digits): trq export "
               "refuses its files and trq serve does not serve them\n";
    };
    return {
        {"1.5", "plq2trq: the station name " + std::string(40, 's') +
                    " is longer than 31 bytes: only \"" + std::string(31, 's') + "\" is used\n" +
                    notSeed(std::string(31, 's'))},
        {"1.6", "plq2trq: the station name " + utf8Kept +
                    "\xC3\xBC is longer than 31 bytes: only \"" + utf8Kept + "\" is used\n" +
                    notSeed(utf8Kept)},
        {"4.1", notSeed("%d%s%%")},
        {"2.1", "plq2trq: open rec.plq: No such file or directory\n"},
        {"4.2", "plq2trq: open r%d%s%%.plq: No such file or directory\n"},
        {"2.2", "plq2trq: open rec.plq: not a regular file\n"},
        {"2.3", "plq2trq: open rec.plq: not a regular file\n"},
        {"2.4", "plq2trq: read rec.plq: 255 bytes, a recorder file header takes 256\n"},
        {"2.5", "plq2trq: rec.plq: the system name in its header does not contain \"Kelvo\"\n"},
        {"2.6",
         "plq2trq: the file is 12269 bytes; its header announces 3 channels of 1000 "
         "samples in format 2, 12268 bytes\n"},
        {"2.7",
         "plq2trq: the file is 12267 bytes; its header announces 3 channels of 1000 "
         "samples in format 2, 12268 bytes\n"},
        {"2.8",
         "plq2trq: the header announces 3 channels of -2 samples in format 2: a count "
         "below zero\n"},
        {"2.9", "plq2trq: the header announces 0 samples per second\n"},
        {"2.10", "plq2trq: the header's start lies outside the years 1 to 9999\n"},
        {"3.1",
         "plq2trq: channels 1 and 2 would share the archive files of bhz: give them names "
         "that differ in more than letter case in [CHANNELMAP]\n"},
        {"3.2",
         "plq2trq: channel 2: the name \"../Z\" from [CHANNELMAP] cannot be part of a "
         "file name (no / or \\)\n"},
    };
}

std::string Opening(const Workspace& ws, const std::string& recording, const std::string& station) {
    return "PLQ2TRQ v1.0\nLoad parameters...\nConnect to DB:DSN=TRQ;UID=" + ws.Catalog().user +
           ";PWD=***; DATA=" + ws.ArchiveDir() + "...\nConvert file " + recording +
           " (sta=" + station + ")...\n";
}

TEST(ConversionTable, EveryCase) {
    const std::map<std::string, std::string> reasons = Reasons();
    for (const Case& c : Cases()) {
        SCOPED_TRACE(std::string(c.id) + " " + c.what);
        Workspace ws;
        c.prepare(ws);
        const ProcessResult result = ws.Convert(c.recording, c.station);
        EXPECT_EQ(result.exitCode, c.exitCode & 0xFF);
        EXPECT_EQ(result.out, Opening(ws, c.recording, c.stored) + c.out);
        EXPECT_EQ(result.err, reasons.contains(c.id) ? reasons.at(c.id) : "");

        std::map<std::string, FileState> files;
        for (int channel = 1; !c.filePrefix.empty() && channel <= 3; ++channel) {
            const std::string header = c.spec.year == 99 ? "22 10 1999" : "22 10 2013";
            const std::string& name = c.names[channel - 1];
            const std::string bytes = ExpectedFile(c.spec, channel, name, c.stored,
                                                   "Start time=13 47 34\r\nStart date=" + header);
            // A file name gives the channel in three columns, right-aligned.
            const std::string column = std::string(3 - std::min<std::size_t>(name.size(), 3), ' ');
            files[c.filePrefix + column + name + "." + c.stored] = {bytes.size(), Digest(bytes)};
        }
        EXPECT_EQ(ws.ArchiveFiles(), files);
        EXPECT_EQ(QueryRows(ws.Catalog(), "SELECT COUNT(*) FROM FILELIST")[0][0],
                  std::to_string(files.size()));

        const ProcessResult inspect = ws.Trq({"inspect", c.recording});
        EXPECT_EQ(inspect.exitCode, c.exitCode & 0xFF) << inspect.out;
    }
}

}  // namespace
