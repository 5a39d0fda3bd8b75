// The converter run end to end: every exit code with its exact console lines.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kBanner = "PLQ2TRQ v1.0\nLoad parameters...\n";
const std::string kNoChannelMap =
    "Not found channels map in ./plq2trq.ini! Use default (1,2,3 e.t.c)\n";
const std::string kExampleDump =
    "year mnt day |  h-mi-s  | sps nch form nsamp\n"
    "2013  10  22 | 13-47-34 | 100  3   0  1000\n";

// One temporary working directory per run. unixODBC reads only the directory's own
// configuration: an empty odbc.ini until a catalog is set up.
class ConverterRun : public ::testing::Test {
  protected:
    ConverterRun() {
        std::filesystem::create_directories(dir_ / "noodbc");
        WriteFile(dir_ / "noodbc/odbc.ini", "");
        env_ = {{"ODBCSYSINI", dir_ / "noodbc"}, {"ODBCINI", dir_ / "noodbc/odbc.ini"}};
    }

    // The run falls back to trq.ini in the system configuration directory when the own ini
    // lacks a setting: such runs are only predictable without one.
    static bool SystemTrqIniExists() {
        return std::filesystem::exists(std::string(PLQ_SYSCONFDIR) + "/trq.ini");
    }

    // An SQLite catalog, an archive directory and an own ini naming both.
    void UseCatalog() {
        catalog_ = testsupport::MakeSqliteCatalog(dir_);
        env_ = catalog_.env;
        std::filesystem::create_directories(ArchiveDir());
        WriteFile(dir_ / "plq2trq.ini",
                  "[DATABASE]\nODBC=" + catalog_.dsn + "\nUSER=" + catalog_.user +
                      "\nPASSWORD=" + catalog_.password + "\n[DATA]\nDIR=" + ArchiveDir() + "\n");
    }

    std::string ArchiveDir() const { return dir_ / "archive"; }
    // The lines up to the open of the recorder file, with a catalog.
    std::string ConnectedLines() const {
        return kBanner + kNoChannelMap + "Connect to DB:DSN=" + catalog_.dsn +
               ";UID=" + catalog_.user + ";PWD=***; DATA=" + ArchiveDir() + "...\n";
    }

    // The lines from the recorder file's open to the channel loop, for the example header.
    static std::string ConvertingLines(const std::string& file) {
        return "Convert file " + file +
               " (sta=STA)...\n"
               "Read header...\n"
               "System => Kelvo PLQ-4 recorder\n" +
               kExampleDump + "Convert data...\n";
    }

    void WriteRecording(const std::string& name, const plqgen::RecordingSpec& spec) {
        plqgen::WriteRecording(dir_ / name, spec);
    }
    static plqgen::RecordingSpec SmallRecording() {
        plqgen::RecordingSpec spec;
        spec.samplesPerChannel = 1000;
        return spec;
    }

    ProcessResult Run(const std::vector<std::string>& args) {
        return testsupport::RunProcess(testsupport::ConverterPath(), args, dir_.Path(), env_);
    }

    TempDir dir_;
    std::map<std::string, std::string> env_;
    testsupport::TestCatalog catalog_;
};

TEST_F(ConverterRun, StationNamesThatAreNoSingleDirectoryAreRefused) {
    for (const std::string station : {"a/b", "a\\b", ".", "..", "/", "\\x"}) {
        const ProcessResult result = Run({"missing.plq", station});
        EXPECT_EQ(result.exitCode, 249) << station;
        EXPECT_EQ(result.out, kBanner + "ERROR: bad station name " + station + "!!!\n");
    }
    // The test applies to the name as stored: a '/' past the 31st character is cut off.
    const std::string longName = std::string(31, 's') + "/x";
    EXPECT_EQ(Run({"missing.plq", longName}).exitCode, 253);
}

TEST_F(ConverterRun, WithoutIniFilesTheFallbackLoginIsTriedAndTheOpenFails) {
    if (SystemTrqIniExists()) GTEST_SKIP() << "a system trq.ini would supply settings";
    const std::string expected = kBanner + kNoChannelMap +
                                 "Connect to DB:DSN=TRQ;UID=TRQ;PWD=***; DATA=...\n"
                                 "ERROR: Can't open Database: DSN=TRQ;UID=TRQ;PWD=***;\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"missing.plq", "STA"},
          std::vector<std::string>{"missing.plq", "STA", "extra", "arguments"}}) {
        const ProcessResult result = Run(args);
        EXPECT_EQ(result.exitCode, 253);
        EXPECT_EQ(result.out, expected);
    }
    // An empty station name could name no station directory: refused like "." or "..".
    const ProcessResult empty = Run({"missing.plq", ""});
    EXPECT_EQ(empty.exitCode, 249);
    EXPECT_EQ(empty.out, kBanner + "ERROR: bad station name !!!\n");
}

TEST_F(ConverterRun, PasswordIsNeverPrinted) {
    WriteFile(dir_ / "plq2trq.ini",
              "[DATABASE]\nODBC=NoSuchSource\nUSER=op\nPASSWORD=Sup3rSecretPassword\n"
              "[DATA]\nDIR=/srv/trq\n");
    const ProcessResult result = Run({"missing.plq", "STA"});
    EXPECT_EQ(result.exitCode, 253);
    EXPECT_EQ(result.out, kBanner + kNoChannelMap +
                              "Connect to DB:DSN=NoSuchSource;UID=op;PWD=***; DATA=/srv/trq...\n"
                              "ERROR: Can't open Database: DSN=NoSuchSource;UID=op;PWD=***;\n");
    EXPECT_EQ(result.out.find("Sup3rSecret"), std::string::npos);
    EXPECT_EQ(result.err.find("Sup3rSecret"), std::string::npos);
}

TEST_F(ConverterRun, MissingRecorderFile) {
    UseCatalog();
    const ProcessResult result = Run({"missing.plq", "STA"});
    EXPECT_EQ(result.exitCode, 252);
    EXPECT_EQ(result.out, ConnectedLines() +
                              "Convert file missing.plq (sta=STA)...\n"
                              "ERROR: open file missing.plq!!!\n");
}

TEST_F(ConverterRun, HeaderShorterThan256Bytes) {
    UseCatalog();
    WriteFile(dir_ / "short.plq", std::string(255, 'K'));
    const ProcessResult result = Run({"short.plq", "STA"});
    EXPECT_EQ(result.exitCode, 251);
    EXPECT_EQ(result.out, ConnectedLines() +
                              "Convert file short.plq (sta=STA)...\n"
                              "Read header...\n"
                              "ERROR: read file short.plq!!!\n");
}

TEST_F(ConverterRun, FormatKeyInOtherLetterCase) {
    UseCatalog();
    plqgen::RecordingSpec spec = SmallRecording();
    spec.systemName = "kelvo PLQ-4";
    WriteRecording("other.plq", spec);
    const ProcessResult result = Run({"other.plq", "STA"});
    EXPECT_EQ(result.exitCode, 250);
    EXPECT_EQ(result.out, ConnectedLines() +
                              "Convert file other.plq (sta=STA)...\n"
                              "Read header...\n"
                              "System => kelvo PLQ-4\n" +
                              kExampleDump +
                              "ERROR: file other.plq is not PLQ-format (not found key "
                              "\"Kelvo\")!!!\n"
                              "kelvo PLQ-4\n");
}

TEST_F(ConverterRun, FileSizeNotMatchingTheHeader) {
    UseCatalog();
    for (int adjustment : {-1, 1}) {
        plqgen::RecordingSpec spec = SmallRecording();
        spec.sizeAdjustment = adjustment;
        WriteRecording("size.plq", spec);
        const ProcessResult result = Run({"size.plq", "STA"});
        EXPECT_EQ(result.exitCode, 251);
        EXPECT_EQ(result.out,
                  ConnectedLines() + ConvertingLines("size.plq") + "ERROR: Wrong file size!!!\n");
        EXPECT_TRUE(std::filesystem::is_empty(ArchiveDir())) << adjustment;
    }
}

// Two channels mapped to names equal but for letter case would write one archive stream,
// the second overwriting the first's file: the run refuses the file and writes nothing.
TEST_F(ConverterRun, ChannelMapGivingTwoChannelsOneNameIsRefused) {
    UseCatalog();
    std::ofstream(dir_ / "plq2trq.ini", std::ios::app) << "[CHANNELMAP]\n1=BHZ\n2=bhz\n3=BHE\n";
    WriteRecording("good.plq", SmallRecording());
    const ProcessResult result = Run({"good.plq", "STA"});
    EXPECT_EQ(result.exitCode, 245);
    EXPECT_EQ(result.out, kBanner + "Connect to DB:DSN=" + catalog_.dsn + ";UID=" + catalog_.user +
                              ";PWD=***; DATA=" + ArchiveDir() + "...\n" +
                              ConvertingLines("good.plq") +
                              "ERROR: channels 1 and 2 have the same name bhz!!!\n");
    EXPECT_TRUE(std::filesystem::is_empty(ArchiveDir()));
}

TEST_F(ConverterRun, ConvertedFileWithStationNameCutTo31Characters) {
    UseCatalog();
    WriteRecording("good.plq", SmallRecording());
    const std::string station = std::string(31, 'S') + "123456789";
    const ProcessResult result = Run({"good.plq", station});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(result.out, ConnectedLines() + "Convert file good.plq (sta=" + std::string(31, 'S') +
                              ")...\n"
                              "Read header...\n"
                              "System => Kelvo PLQ-4 recorder\n" +
                              kExampleDump +
                              "Convert data...\n"
                              "Done!\n\n");
    EXPECT_TRUE(std::filesystem::is_directory(ArchiveDir() + "/" + std::string(31, 'S')));
    EXPECT_EQ(testsupport::QueryRows(catalog_, "SELECT COUNT(*) FROM FILELIST"),
              (std::vector<std::vector<std::string>>{{"3"}}));
}

// PostgreSQL checks the password: the driver gets it whole while the console shows "***".
TEST_F(ConverterRun, DriverGetsThePasswordTheConsoleHides) {
    catalog_ = testsupport::MakePostgresCatalog(dir_);
    env_ = catalog_.env;
    std::filesystem::create_directories(ArchiveDir());
    WriteRecording("good.plq", SmallRecording());
    const auto writeIni = [&](const std::string& password) {
        WriteFile(dir_ / "plq2trq.ini", "[DATABASE]\nODBC=" + catalog_.dsn +
                                            "\nUSER=" + catalog_.user + "\nPASSWORD=" + password +
                                            "\n[DATA]\nDIR=" + ArchiveDir() + "\n");
    };

    writeIni(catalog_.password);
    ProcessResult result = Run({"good.plq", "STA"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(result.out.substr(0, ConnectedLines().size()), ConnectedLines());
    // (The test cluster's password also occurs in the temporary directory's name.)
    EXPECT_EQ(result.out.find("PWD=" + catalog_.password), std::string::npos);

    writeIni(catalog_.password + "x");  // a refused login
    result = Run({"good.plq", "STA"});
    EXPECT_EQ(result.exitCode, 253);
    EXPECT_EQ(result.out, ConnectedLines() + "ERROR: Can't open Database: DSN=" + catalog_.dsn +
                              ";UID=" + catalog_.user + ";PWD=***;\n");
}

// Everything was read ("Done!"), but the archive files could not be written whole (a
// 4512-byte file against a 2048-byte limit): the exit code says so.
TEST_F(ConverterRun, ArchiveThatCannotBeWrittenEndsWithItsOwnCode) {
    UseCatalog();
    WriteRecording("good.plq", SmallRecording());
    ProcessResult result;
    {
        testsupport::FileSizeLimit limit(2048);
        result = Run({"good.plq", "STA"});
    }
    EXPECT_EQ(result.exitCode, 248);
    const std::string head = ConnectedLines() + ConvertingLines("good.plq") + "Done!\n\n";
    EXPECT_EQ(result.out.substr(0, head.size()), head);
    EXPECT_NE(result.out.find("ERROR: write file "), std::string::npos) << result.out;
}

// Everything was read ("Done!"), but the catalog took none of it: the exit code says so.
TEST_F(ConverterRun, CatalogThatCannotRegisterEndsWithItsOwnCode) {
    UseCatalog();
    testsupport::ExecuteSql(catalog_, "DROP TABLE FILELIST");
    WriteRecording("good.plq", SmallRecording());
    const ProcessResult result = Run({"good.plq", "STA"});
    EXPECT_EQ(result.exitCode, 247);
    const std::string head = ConnectedLines() + ConvertingLines("good.plq") + "Done!\n\n";
    EXPECT_EQ(result.out.substr(0, head.size()), head);
}

}  // namespace
