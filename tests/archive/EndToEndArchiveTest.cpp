// The archive a converter run leaves behind: files, headers, sample bytes and catalog rows
// for the typical recording of three channels of one hour at 100 sps.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using testsupport::ProcessResult;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// A working directory with an SQLite catalog, an archive directory and a plq2trq.ini
// naming both and mapping channels 1 to 3 to BHZ, BHN and BHE.
class ArchiveRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::filesystem::exists(std::string(PLQ_SYSCONFDIR) + "/trq.ini")) {
            GTEST_SKIP() << "a system trq.ini would change the settings of the run";
        }
        catalog_ = testsupport::MakeSqliteCatalog(dir_);
        std::filesystem::create_directories(ArchiveDir());
        WriteFile(dir_ / "plq2trq.ini",
                  "[DATABASE]\nODBC=" + catalog_.dsn + "\nUSER=" + catalog_.user +
                      "\nPASSWORD=" + catalog_.password + "\n[DATA]\nDIR=" + ArchiveDir() +
                      "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n");
    }

    std::string ArchiveDir() const { return dir_ / "archive"; }

    // Ramp samples stored as 32-bit integers: every decoded value is exact and tells its
    // channel and position.
    static plqgen::RecordingSpec Recording(int32_t samplesPerChannel) {
        plqgen::RecordingSpec spec;
        spec.samplesPerChannel = samplesPerChannel;
        spec.sampleFormat = 2;
        spec.signal = plqgen::Signal::Ramp;
        return spec;
    }

    ProcessResult Convert(const plqgen::RecordingSpec& spec) {
        plqgen::WriteRecording(dir_ / "rec.plq", spec);
        return testsupport::RunProcess(testsupport::ConverterPath(), {"rec.plq", "ABC"},
                                       dir_.Path(), catalog_.env);
    }

    std::vector<std::vector<std::string>> Rows() {
        return testsupport::QueryRows(
            catalog_,
            "SELECT CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF FROM FILELIST "
            "ORDER BY CPATH");
    }

    testsupport::TempDir dir_;
    testsupport::TestCatalog catalog_;
};

// Three channels of 360,000 samples at 100 sps from 2013-10-22 13:47:34: one archive file
// per channel of 360,000 samples covering 3600 s, and one catalog row each.
TEST_F(ArchiveRun, TypicalRecordingGivesOneHourFilePerChannel) {
    const plqgen::RecordingSpec spec = Recording(360000);
    ProcessResult result = Convert(spec);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out.find("ERROR"), std::string::npos) << result.out;

    const char* channels[] = {"BHZ", "BHN", "BHE"};
    std::set<std::string> expectedFiles;
    for (const char* channel : channels) {
        expectedFiles.insert(std::string("ABC/22102013-134734-") + channel + ".ABC");
    }
    std::set<std::string> files;
    for (auto& entry : std::filesystem::recursive_directory_iterator(ArchiveDir())) {
        if (entry.is_regular_file() && entry.path().filename() != ".plq2trq.lock") {
            files.insert(std::filesystem::relative(entry.path(), ArchiveDir()).string());
        }
    }
    EXPECT_EQ(files, expectedFiles);

    for (int number = 1; number <= 3; ++number) {
        const std::string channel = channels[number - 1];
        SCOPED_TRACE(channel);
        std::string file = ReadFile(ArchiveDir() + "/ABC/22102013-134734-" + channel + ".ABC");
        ASSERT_EQ(file.size(), 512u + 360000 * 4);
        EXPECT_EQ(file.substr(0, 512),
                  archivetest::PaddedHeader("[TRQ5.x]\r\nData offset=512\r\n"
                                            "Start time=13 47 34\r\nStart date=22 10 2013\r\n"
                                            "Time duration=00 00 00\r\nData Type=FLOAT\r\n"
                                            "SpS=100.000000\r\nGain=1\r\nStation=ABC\r\n"
                                            "Channels=\"" +
                                            channel + "\"\r\n"));
        std::vector<float> expected(360000);
        for (int32_t i = 0; i < 360000; ++i) {
            expected[static_cast<std::size_t>(i)] =
                static_cast<float>(plqgen::RawSample(spec, number, i));
        }
        EXPECT_EQ(file.substr(512) == archivetest::LittleEndianBytes(expected), true);
    }

    catalog_.UseInThisProcess();
    auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    const char* sorted[] = {"BHE", "BHN", "BHZ"};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(sorted[i]);
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 10u);
        EXPECT_EQ(row[0], std::string("ABC\\22102013-134734-") + sorted[i] + ".ABC");
        EXPECT_EQ(row[1], "ABC");
        EXPECT_EQ(row[2], sorted[i]);
        EXPECT_EQ(std::stod(row[3]), archivetest::k20131022_134734);
        EXPECT_EQ(std::stod(row[4]), 3600.0);
        EXPECT_EQ(std::stod(row[5]), 100.0);
        EXPECT_EQ(std::stoi(row[6]), 1);
        EXPECT_EQ(std::stoi(row[7]), 3);
        EXPECT_EQ(row[8], "PLQ2TRQ");
        EXPECT_EQ(std::stoi(row[9]), 512);
    }
}

// A station directory that cannot be made (a plain file holds its name): every block is
// reported, nothing is registered, and the run ends with -8 although all was read.
TEST_F(ArchiveRun, BlocksThatCannotBeWrittenEndTheRunWithMinus8) {
    WriteFile(ArchiveDir() + "/ABC", "not a directory");
    ProcessResult result = Convert(Recording(1000));
    EXPECT_EQ(result.exitCode, 248) << result.err;  // -8
    const std::string tail =
        "Done!\n\n"
        "ERROR: write file " +
        ArchiveDir() +
        "/ABC/22102013-134734-BHZ.ABC!!!\n"
        "ERROR: write file " +
        ArchiveDir() +
        "/ABC/22102013-134734-BHN.ABC!!!\n"
        "ERROR: write file " +
        ArchiveDir() + "/ABC/22102013-134734-BHE.ABC!!!\n";
    ASSERT_GE(result.out.size(), tail.size()) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail) << result.out;
    catalog_.UseInThisProcess();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(ReadFile(ArchiveDir() + "/ABC"), "not a directory");
}

}  // namespace
