// `trq info`: header fields, sample count, time span and statistics of archive files, as
// text and as JSON, for files of the local writer and files the converter wrote.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "tests/trq/TrqTestSupport.h"

namespace {

using namespace trqtest;

const std::string kShzPath = "ABC/05032012-070809-SHZ.ABC";

class InfoCommand : public ::testing::Test {
  protected:
    ProcessResult Run(const std::vector<std::string>& args) { return RunTrq(args, dir_.Path()); }
    TempDir dir_;
};

TEST_F(InfoCommand, TextLinesOfOneFile) {
    // 250 samples at 100 sps: -100, -99, ... 149; mean 24.5.
    WriteArchiveFile(dir_ / kShzPath, HeaderFields{}, Ramp(250, -100));
    const ProcessResult result = Run({"info", kShzPath});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(
        result.out, kShzPath +
                        "\n"
                        "  station      ABC\n"
                        "  channel      SHZ\n"
                        "  sample rate  100.000000 samples/s\n"
                        "  gain         1\n"
                        "  data type    FLOAT\n"
                        "  data offset  512\n"
                        "  duration     00 00 00 (header line)\n"
                        "  file size    1512 bytes\n"
                        "  samples      250\n"
                        "  start        2012-03-05 07:08:09.000 UTC\n"
                        "  end          2012-03-05 07:08:11.500 UTC\n"
                        "  span         2.500000 s\n"
                        "  min          -100\n"
                        "  max          149\n"
                        "  mean         24.500000\n"
                        "  rms          " +
                        [] {
                            double sum = 0;
                            for (int v = -100; v < 150; ++v) sum += double(v) * v;
                            char text[32];
                            std::snprintf(text, sizeof text, "%.6f", std::sqrt(sum / 250));
                            return std::string(text);
                        }() +
                        "\n");
}

TEST_F(InfoCommand, FileWithoutSamplesAndNonFiniteSamples) {
    WriteArchiveFile(dir_ / "A/empty", HeaderFields{}, {});
    WriteArchiveFile(dir_ / "A/nan", HeaderFields{},
                     {1.0f, std::numeric_limits<float>::quiet_NaN(), 3.0f});
    const ProcessResult result = Run({"info", "A/empty", "A/nan"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("A/empty\n"), std::string::npos);
    EXPECT_NE(result.out.find("  samples      0\n  start        2012-03-05 07:08:09.000 UTC\n"
                              "  end          2012-03-05 07:08:09.000 UTC\n"
                              "  span         0.000000 s\n  min          -\n  max          -\n"
                              "  mean         -\n  rms          -\n\nA/nan\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("  min          1\n  max          3\n  mean         2.000000\n"
                              "  rms          2.236068\n  not finite   1 samples\n"),
              std::string::npos)
        << result.out;
}

// Every kind of inconsistency exits with 1 and names the file and the fault; the good files
// are still reported.
TEST_F(InfoCommand, InconsistentFilesExitWithOne) {
    WriteArchiveFile(dir_ / kShzPath, HeaderFields{}, Ramp(4));
    WriteFile(dir_ / "odd", PaddedHeader(HeaderText(HeaderFields{})) + "123");
    WriteFile(dir_ / "old", PaddedHeader("[TRQ4.x]\r\n"));
    HeaderFields badDate;
    badDate.month = 13;
    WriteFile(dir_ / "date", PaddedHeader(HeaderText(badDate)));
    // A FIFO is refused at once, not waited on for a writer that never comes.
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    const ProcessResult result =
        Run({"info", "odd", kShzPath, "old", "missing", "date", "fifo", "."});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "trq info: odd: file is 515 bytes, not 512 + 4 x samples (3 bytes left over)\n"
              "trq info: old: header does not begin with the line \"[TRQ5.x]\"\n"
              "trq info: missing: open(missing) failed: No such file or directory\n"
              "trq info: date: header line \"Start date=\" is not a calendar date: "
              "\"05 13 2012\"\n"
              "trq info: fifo: not a regular file\n"
              "trq info: .: not a regular file\n");
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"plot", "fifo", "-o", "x.png"},
          std::vector<std::string>{"export", "fifo", "-o", "x.mseed"}}) {
        const ProcessResult refused = Run(command);
        EXPECT_EQ(refused.exitCode, 1) << command[0];
        EXPECT_NE(refused.err.find("fifo: not a regular file"), std::string::npos) << refused.err;
    }
    EXPECT_NE(result.out.find(kShzPath + "\n  station      ABC\n"), std::string::npos);
    EXPECT_NE(result.out.find("  samples      4\n"), std::string::npos);
}

TEST_F(InfoCommand, JsonDocumentWithEveryFile) {
    HeaderFields fields;
    fields.rate = 64;
    WriteArchiveFile(dir_ / kShzPath, fields, {2.5f, -1.0f, 0.5f, 6.0f});
    WriteFile(dir_ / "odd", "short");
    const ProcessResult result = Run({"info", "--json", kShzPath, "odd"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "trq info: odd: file is 5 bytes, shorter than the 512-byte header\n");
    const nlohmann::json doc = nlohmann::json::parse(result.out);
    EXPECT_EQ(doc["command"], "info");
    EXPECT_EQ(doc["ok"], false);
    ASSERT_EQ(doc["files"].size(), 2u);
    const nlohmann::json& good = doc["files"][0];
    EXPECT_EQ(good["path"], kShzPath);
    EXPECT_EQ(good["ok"], true);
    EXPECT_EQ(good["header"]["startTime"], "07 08 09");
    EXPECT_EQ(good["header"]["startDate"], "05 03 2012");
    EXPECT_EQ(good["header"]["timeDuration"], "00 00 00");
    EXPECT_EQ(good["header"]["samplesPerSecond"], 64.0);
    EXPECT_EQ(good["header"]["samplesPerSecondText"], "64.000000");
    EXPECT_EQ(good["header"]["station"], "ABC");
    EXPECT_EQ(good["header"]["channel"], "SHZ");
    EXPECT_EQ(good["header"]["gain"], 1);
    EXPECT_EQ(good["header"]["dataType"], "FLOAT");
    EXPECT_EQ(good["header"]["dataOffset"], 512);
    EXPECT_EQ(good["fileSize"], 528);
    EXPECT_EQ(good["samples"], 4);
    EXPECT_EQ(good["start"], "2012-03-05T07:08:09.000000Z");
    EXPECT_EQ(good["startEpoch"], k20120305_070809);
    EXPECT_EQ(good["end"], "2012-03-05T07:08:09.062500Z");
    EXPECT_EQ(good["endEpoch"], k20120305_070809 + 0.0625);
    EXPECT_EQ(good["spanSeconds"], 0.0625);
    EXPECT_EQ(good["min"], -1.0);
    EXPECT_EQ(good["max"], 6.0);
    EXPECT_EQ(good["mean"], 2.0);
    EXPECT_EQ(good["rms"], std::sqrt((6.25 + 1 + 0.25 + 36) / 4));
    EXPECT_EQ(good["nonFinite"], 0);
    EXPECT_EQ(doc["files"][1],
              (nlohmann::json{{"path", "odd"},
                              {"ok", false},
                              {"error", "file is 5 bytes, shorter than the 512-byte header"}}));
}

TEST_F(InfoCommand, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run({}).exitCode, 2);
    EXPECT_EQ(Run({"info"}).exitCode, 2);
    EXPECT_EQ(Run({"frobnicate"}).exitCode, 2);
    const ProcessResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"inspect", "info", "plot", "export", "check"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
}

// Archive files the converter wrote: for every channel the header, the number of samples
// and the statistics of the decoded recording.
class InfoOnConvertedArchive : public ConvertedArchive {};

TEST_F(InfoOnConvertedArchive, FiguresMatchTheRecording) {
    plqgen::RecordingSpec spec = Recording(7000);
    spec.millisecond = 250;
    ASSERT_NO_FATAL_FAILURE(Convert(spec));
    const char* channels[] = {"BHZ", "BHN", "BHE"};
    std::vector<std::string> args = {"info", "--json"};
    for (const char* channel : channels) {
        args.push_back(ArchivePath(std::string("ABC/22102013-134734-") + channel + ".ABC"));
    }
    const ProcessResult result = Trq(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json doc = nlohmann::json::parse(result.out);
    ASSERT_EQ(doc["files"].size(), 3u);
    for (int number = 1; number <= 3; ++number) {
        SCOPED_TRACE(number);
        const nlohmann::json& file = doc["files"][static_cast<std::size_t>(number - 1)];
        double sum = 0;
        double squares = 0;
        float low = DecodedValue(spec, number, 0);
        float high = low;
        for (int32_t i = 0; i < 7000; ++i) {
            const float v = DecodedValue(spec, number, i);
            sum += v;
            squares += double(v) * v;
            low = std::min(low, v);
            high = std::max(high, v);
        }
        EXPECT_EQ(file["header"]["channel"], channels[number - 1]);
        EXPECT_EQ(file["header"]["station"], "ABC");
        EXPECT_EQ(file["header"]["samplesPerSecondText"], "100.000000");
        EXPECT_EQ(file["samples"], 7000);
        // The header keeps whole seconds: the 0.25 s of the recording are not in it.
        EXPECT_EQ(file["start"], "2013-10-22T13:47:34.000000Z");
        EXPECT_EQ(file["spanSeconds"], 70.0);
        EXPECT_EQ(file["min"], low);
        EXPECT_EQ(file["max"], high);
        EXPECT_EQ(file["mean"], sum / 7000);
        EXPECT_EQ(file["rms"], std::sqrt(squares / 7000));
    }

    // One byte lost at the end: no longer 512 + 4k bytes.
    const std::string cut = ArchivePath("ABC/22102013-134734-BHN.ABC");
    std::filesystem::resize_file(cut, 512 + 4 * 7000 - 1);
    const ProcessResult broken = Trq({"info", cut});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.out, "");
    EXPECT_EQ(broken.err, "trq info: " + cut +
                              ": file is 28511 bytes, not 512 + 4 x samples (3 bytes left over)\n");
}

}  // namespace
