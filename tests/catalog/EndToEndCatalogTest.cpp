// The catalog rows a converter run leaves behind, on SQLite and on PostgreSQL: the typical
// recording (three channels of one hour at 100 sps), converted once and twice, and a run
// that loses its PostgreSQL connection half-way.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/recordset/CatalogDatabase.h"
#include "tests/support/RunProcess.h"

using namespace testsupport;
using ::testing::HasSubstr;

namespace {

// 2013-10-22 13:47:34, the typical recording's start, in seconds since 1970.
constexpr double kTypicalStart = 1382449654;
constexpr std::size_t kWholeFileBytes = 512 + 360000 * 4;
const char* const kChannels[] = {"BHE", "BHN", "BHZ"};  // in path order

class ConverterCatalogRun : public ::testing::TestWithParam<CatalogKind> {
  protected:
    void SetUp() override {
        if (std::filesystem::exists(std::string(PLQ_SYSCONFDIR) + "/trq.ini")) {
            GTEST_SKIP() << "a system trq.ini would change the settings of the run";
        }
        // The converter connects through the data source name, in a process of its own.
        catalog_ = GetParam() == CatalogKind::kSqlite ? MakeSqliteCatalog(dir_)
                                                      : MakePostgresCatalog(dir_);
        std::filesystem::create_directories(dir_ / "archive");
        WriteFile(dir_ / "plq2trq.ini",
                  "[DATABASE]\nODBC=" + catalog_.dsn + "\nUSER=" + catalog_.user +
                      "\nPASSWORD=" + catalog_.password + "\n[DATA]\nDIR=" + (dir_ / "archive") +
                      "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n");
        plqgen::RecordingSpec spec;  // the typical recording
        spec.sampleFormat = 2;
        plqgen::WriteRecording(dir_ / "rec.plq", spec);
        // Checks from this process connect directly (see DirectConnectString).
        checking_ = catalog_;
        checking_.connect = DirectConnectString(dir_, catalog_);
    }

    ProcessResult Convert() {
        return RunProcess(ConverterPath(), {"rec.plq", "ABC"}, dir_.Path(), catalog_.env);
    }

    std::vector<std::vector<std::string>> Rows() {
        auto rows = QueryRows(checking_,
                              "SELECT CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,DATATYPE,CREATER,FOFF "
                              "FROM FILELIST ORDER BY CPATH");
        for (auto& row : rows) {
            for (auto& cell : row) cell = NormalCell(cell);
        }
        return rows;
    }

    static std::vector<std::vector<std::string>> TypicalRows() {
        std::vector<std::vector<std::string>> rows;
        for (const char* channel : kChannels) {
            rows.push_back({std::string("ABC\\22102013-134734-") + channel + ".ABC", "ABC", channel,
                            NormalCell(std::to_string(kTypicalStart)), "3600", "100", "1", "3",
                            "PLQ2TRQ", "512"});
        }
        return rows;
    }

    std::string ArchiveFile(const char* channel) const {
        return dir_ / (std::string("archive/ABC/22102013-134734-") + channel + ".ABC");
    }

    TempDir dir_;
    TestCatalog catalog_;
    TestCatalog checking_;
};

TEST_P(ConverterCatalogRun, TypicalRecordingLeavesOneRowPerArchiveFile) {
    const ProcessResult result = Convert();
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out.find("ERROR"), std::string::npos) << result.out;
    EXPECT_EQ(Rows(), TypicalRows());
}

TEST_P(ConverterCatalogRun, ConvertingAgainLeavesTheSameRows) {
    ASSERT_EQ(Convert().exitCode, 0);
    const ProcessResult again = Convert();
    ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(again.out.find("ERROR"), std::string::npos) << again.out;
    EXPECT_EQ(Rows(), TypicalRows());
    for (const char* channel : kChannels) {
        EXPECT_EQ(std::filesystem::file_size(ArchiveFile(channel)), kWholeFileBytes) << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogs, ConverterCatalogRun,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

class ConverterLosingPostgres : public ConverterCatalogRun {};

// The server ends the converter's session in the middle of the run: its 30th update of a
// row terminates the backend that sends it, as stopping the server would. From then on
// every registration fails with the driver's message; the archive is written all the same
// and the run ends with -9.
TEST_P(ConverterLosingPostgres, LostConnectionIsReportedAndTheArchiveStillWritten) {
    ExecuteSql(checking_, "CREATE SEQUENCE updates_seen");
    ExecuteSql(checking_,
               "CREATE FUNCTION stop_session() RETURNS trigger AS $body$ BEGIN "
               "IF nextval('updates_seen') = 30 THEN "
               "PERFORM pg_terminate_backend(pg_backend_pid()); END IF; "
               "RETURN NEW; END $body$ LANGUAGE plpgsql");
    ExecuteSql(checking_,
               "CREATE TRIGGER stop_session BEFORE UPDATE ON FILELIST "
               "FOR EACH ROW EXECUTE FUNCTION stop_session()");

    const ProcessResult result = Convert();
    EXPECT_EQ(result.exitCode, 247) << result.out << result.err;  // -9
    EXPECT_THAT(result.out, HasSubstr("Convert data...\nFATAL:  terminating connection due to "
                                      "administrator command\n"));
    // Channel 1 (BHZ) registers its file and 29 appends; its 30th append ends the session,
    // and each of the 41 appends left and the 72 registrations of BHN and of BHE report the
    // lost connection: the driver's line, the "\n" added to it and the line's end.
    std::size_t lostConnection = 0;
    const std::string lost = "SQLPrepare unable due to the connection lost\n\n\n";
    for (auto at = result.out.find(lost); at != std::string::npos;
         at = result.out.find(lost, at + lost.size())) {
        ++lostConnection;
    }
    EXPECT_EQ(lostConnection, 41u + 72u + 72u);
    EXPECT_THAT(result.out, HasSubstr("Done!"));
    for (const char* channel : kChannels) {
        EXPECT_EQ(std::filesystem::file_size(ArchiveFile(channel)), kWholeFileBytes) << channel;
    }
    // The row written before the session ended stays, with the 30 blocks (1500 s) it had.
    std::vector<std::string> bhz = TypicalRows()[2];
    bhz[4] = "1500";
    EXPECT_EQ(Rows(), std::vector<std::vector<std::string>>{bhz});
}

INSTANTIATE_TEST_SUITE_P(Catalogs, ConverterLosingPostgres,
                         ::testing::Values(CatalogKind::kPostgres), CatalogKindName);

}  // namespace
