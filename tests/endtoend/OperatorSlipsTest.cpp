// A table of the slips a busy operator makes and what the converter answers: a shell pattern
// in place of a station, arguments too many, a recording that replaces archived data, a
// data or station directory that is not there, a station lock that cannot be taken, a run
// without plq2trq.ini, and station names that miniSEED cannot carry. Each case gives the
// exit code, standard output and standard error whole (@ARCHIVE@ and @USER@ stand for the
// workspace's archive directory and catalog user) and the archive files left.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/Bytes.h"
#include "tests/support/Workspace.h"

using namespace testsupport;

namespace {

const std::string kGolden = PLQ_SOURCE_DIR "/tests/golden";

struct SlipCase {
    const char* id;
    std::function<void(const Workspace&)> prepare;
    std::vector<std::string> args;  // of plq2trq
    int exitCode;
    std::string out;
    std::string err;
    std::string files;  // below the archive directory, one per line
};

const std::string kOpening =
    "PLQ2TRQ v1.0\nLoad parameters...\nConnect to DB:DSN=TRQ;UID=@USER@;PWD=***; "
    "DATA=@ARCHIVE@...\n";
const std::string kDump = "year mnt day |  h-mi-s  | sps nch form nsamp\n";

// "Convert file ..." to "Convert data..." for a recording of 2013-10-22 13:47:34.
std::string Header(const std::string& recording, const std::string& station,
                   const std::string& formAndCount = "0  1000") {
    return "Convert file " + recording + " (sta=" + station +
           ")...\nRead header...\nSystem => Kelvo PLQ-4 recorder\n" + kDump +
           "2013  10  22 | 13-47-34 | 100  3   " + formAndCount + "\nConvert data...\n";
}

std::string Files(const std::string& station, const std::vector<std::string>& channels) {
    std::string files;
    for (const std::string& channel : channels) {
        files += station + "/22102013-134734-" + channel + "." + station + "\n";
    }
    return files;
}

void CopyGolden(const Workspace& ws, const std::string& name = "rec.plq") {
    std::filesystem::copy_file(kGolden + "/rec.plq", ws.Path(name));
}

void ConvertGoldenFirst(const Workspace& ws) {
    CopyGolden(ws);
    ASSERT_EQ(ws.Convert("rec.plq").exitCode, 0);
}

plqgen::RecordingSpec Ramp(int32_t samples) {
    plqgen::RecordingSpec spec;
    spec.samplesPerChannel = samples;
    spec.sampleFormat = 2;
    spec.signal = plqgen::Signal::Ramp;
    return spec;
}

std::string Replaced(const std::string& channel, int samples, const std::string& newStart) {
    const std::string count = std::to_string(samples);
    return "plq2trq: replaced @ARCHIVE@/ABC/22102013-134734-" + channel +
           ".ABC, which held other data: it began 2013-10-22 13:47:34 with " + count +
           " samples, now " + newStart + " with " + count + " samples\n";
}

const std::string kGolden3 = Files("ABC", {"BHE", "BHN", "BHZ"});
const std::string kLockFailed = "plq2trq: cannot lock station ABC: ";

std::vector<SlipCase> Cases() {
    return {
        {"glob-gave-two-recordings",
         [](const Workspace& ws) { CopyGolden(ws), CopyGolden(ws, "rec2.plq"); },
         {"rec.plq", "rec2.plq", "ABC"},
         -1,
         "USAGE: PLQ2TRQ file_name station_name\n",
         "plq2trq: the station name rec2.plq is an existing file: plq2trq FILE STATION "
         "converts one recording; to convert several, use plq2trq --station STATION FILE...\n",
         ""},
        {"arguments-after-the-station",
         [](const Workspace& ws) { CopyGolden(ws); },
         {"rec.plq", "ABC", "more", "x.plq"},
         0,
         kOpening + Header("rec.plq", "ABC") + "Done!\n\n",
         "plq2trq: ignored the arguments after the station name: more x.plq\n",
         kGolden3},
        {"same-recording-again-is-silent",
         ConvertGoldenFirst,
         {"rec.plq", "ABC"},
         0,
         kOpening + Header("rec.plq", "ABC") + "Done!\n\n",
         "",
         kGolden3},
        {"other-recording-of-the-same-second",
         [](const Workspace& ws) {
             ConvertGoldenFirst(ws);
             ws.WriteRecording("other.plq", Ramp(1000));
         },
         {"other.plq", "ABC"},
         0,
         kOpening + Header("other.plq", "ABC", "2  1000") + "Done!\n\n",
         Replaced("BHZ", 1000, "2013-10-22 13:47:34.000") +
             Replaced("BHN", 1000, "2013-10-22 13:47:34.000") +
             Replaced("BHE", 1000, "2013-10-22 13:47:34.000"),
         kGolden3},
        // Three blocks a channel, the last one short; after an identical run only BHE's last
        // sample changes.
        {"last-sample-of-a-long-file-changed",
         [](const Workspace& ws) {
             ws.WriteRecording("long.plq", Ramp(12345));
             ASSERT_EQ(ws.Convert("long.plq").exitCode, 0);
             ASSERT_EQ(ws.Convert("long.plq").err, "");
             std::string bytes = ReadFile(ws.Path("long.plq"));
             bytes.back() ^= 0x40;
             WriteFile(ws.Path("long.plq"), bytes);
         },
         {"long.plq", "ABC"},
         0,
         kOpening + Header("long.plq", "ABC", "2  12345") + "Done!\n\n",
         Replaced("BHE", 12345, "2013-10-22 13:47:34.000"),
         kGolden3},
        {"data-directory-missing",
         [](const Workspace& ws) {
             CopyGolden(ws);
             std::filesystem::remove(ws.ArchiveDir());
         },
         {"rec.plq", "ABC"},
         -8,
         kOpening + Header("rec.plq", "ABC") + "ERROR: write file @ARCHIVE@!!!\n",
         kLockFailed + "open data directory @ARCHIVE@: No such file or directory\n",
         "(no directory)"},
        {"data-directory-is-a-file",
         [](const Workspace& ws) {
             CopyGolden(ws);
             std::filesystem::remove(ws.ArchiveDir());
             WriteFile(ws.ArchiveDir(), "x");
         },
         {"rec.plq", "ABC"},
         -8,
         kOpening + Header("rec.plq", "ABC") + "ERROR: write file @ARCHIVE@!!!\n",
         kLockFailed + "open data directory @ARCHIVE@: Not a directory\n",
         "(no directory)"},
        {"station-directory-is-a-file",
         [](const Workspace& ws) {
             CopyGolden(ws);
             WriteFile(ws.ArchiveDir() + "/ABC", "x");
         },
         {"rec.plq", "ABC"},
         -8,
         kOpening + Header("rec.plq", "ABC") + "ERROR: write file @ARCHIVE@/ABC!!!\n",
         kLockFailed + "open station directory @ARCHIVE@/ABC: Not a directory\n",
         "ABC\n"},
        {"lock-file-is-a-directory",
         [](const Workspace& ws) {
             CopyGolden(ws);
             std::filesystem::create_directories(ws.ArchiveDir() + "/ABC/.plq2trq.lock");
         },
         {"rec.plq", "ABC"},
         -8,
         kOpening + Header("rec.plq", "ABC") + "ERROR: write file @ARCHIVE@/ABC/.plq2trq.lock!!!\n",
         kLockFailed + "open @ARCHIVE@/ABC/.plq2trq.lock: Is a directory\n",
         ""},
        {"settings-from-trq-ini-alone",
         [](const Workspace& ws) {
             CopyGolden(ws);
             ws.WriteTrqIni(ws.IniText(ws.ArchiveDir(), ""));
             std::filesystem::remove(ws.Path("plq2trq.ini"));
         },
         {"rec.plq", "ABC"},
         0,
         "PLQ2TRQ v1.0\nLoad parameters...\nNot found channels map in ./plq2trq.ini! Use default "
         "(1,2,3 e.t.c)\nConnect to DB:DSN=TRQ;UID=@USER@;PWD=***; DATA=@ARCHIVE@...\n" +
             Header("rec.plq", "ABC") + "Done!\n\n",
         "plq2trq: no ./plq2trq.ini: the run uses the settings of etc/trq.ini (data source TRQ "
         "and the working directory where it has none) and channel names CH1, CH2, ...\n",
         Files("ABC", {"CH1", "CH2", "CH3"})},
        {"no-ini-at-all",
         [](const Workspace& ws) {
             CopyGolden(ws);
             std::filesystem::remove(ws.Path("plq2trq.ini"));
         },
         {"rec.plq", "ABC"},
         0,
         "PLQ2TRQ v1.0\nLoad parameters...\nNot found channels map in ./plq2trq.ini! Use default "
         "(1,2,3 e.t.c)\nConnect to DB:DSN=TRQ;UID=TRQ;PWD=***; DATA=...\n" +
             Header("rec.plq", "ABC") + "Done!\n\n",
         "plq2trq: no ./plq2trq.ini: the run uses data source TRQ, the working directory as data "
         "directory and channel names CH1, CH2, ... (there is no etc/trq.ini either)\n",
         ""},
        {"station-longer-than-miniseed-takes",
         [](const Workspace& ws) { CopyGolden(ws); },
         {"rec.plq", "ABCDEF"},
         0,
         kOpening + Header("rec.plq", "ABCDEF") + "Done!\n\n",
         "plq2trq: warning: the station name ABCDEF cannot be a miniSEED station code (1 to 5 "
         "letters and digits): trq export refuses its files and trq serve does not serve "
         "them\n",
         Files("ABCDEF", {"BHE", "BHN", "BHZ"})},
        {"station-with-a-dash",
         [](const Workspace& ws) { CopyGolden(ws); },
         {"rec.plq", "AB-C"},
         0,
         kOpening + Header("rec.plq", "AB-C") + "Done!\n\n",
         "plq2trq: warning: the station name AB-C cannot be a miniSEED station code (1 to 5 "
         "letters and digits): trq export refuses its files and trq serve does not serve "
         "them\n",
         Files("AB-C", {"BHE", "BHN", "BHZ"})},
    };
}

std::string Expanded(const Workspace& ws, std::string text) {
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"@ARCHIVE@", ws.ArchiveDir()},
          {"@USER@", ws.Catalog().user}}) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

TEST(OperatorSlips, EveryCase) {
    for (const SlipCase& c : Cases()) {
        SCOPED_TRACE(c.id);
        Workspace ws;
        ASSERT_NO_FATAL_FAILURE(c.prepare(ws));
        const ProcessResult result = RunProcess(ConverterPath(), c.args, ws.Dir().Path(), ws.Env());
        EXPECT_EQ(result.exitCode, c.exitCode & 0xFF);
        EXPECT_EQ(result.out, Expanded(ws, c.out));
        EXPECT_EQ(result.err, Expanded(ws, c.err));
        std::string files = std::filesystem::is_directory(ws.ArchiveDir()) ? "" : "(no directory)";
        if (files.empty()) {
            for (const auto& [path, state] : ws.ArchiveFiles()) files += path + "\n";
        }
        EXPECT_EQ(files, c.files);
    }
}

}  // namespace
