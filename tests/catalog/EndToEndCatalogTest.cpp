// The catalog rows a converter run leaves behind, on SQLite and on PostgreSQL: the typical
// recording (three channels of one hour at 100 sps), converted once and twice, and a run
// that loses its PostgreSQL connection half-way.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
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

    ProcessResult Convert(const std::string& station = "ABC") {
        return RunProcess(ConverterPath(), {"rec.plq", station}, dir_.Path(), catalog_.env);
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

// A station name of sixteen two-byte characters (32 bytes) is kept to 31 bytes without
// splitting the sixteenth: fifteen characters name the directory, the files and the rows
// (PostgreSQL would refuse a name ending in half a character).
TEST_P(ConverterCatalogRun, LongUtf8StationNameIsCutBetweenCharacters) {
    std::string station, kept;
    for (int i = 0; i < 16; ++i) station += "\xC3\xBC";  // ü
    kept = station.substr(0, 30);
    const ProcessResult result = Convert(station);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("Convert file rec.plq (sta=" + kept + ")...\n"));
    EXPECT_TRUE(
        std::filesystem::exists(dir_ / ("archive/" + kept + "/22102013-134734-BHZ." + kept)));
    EXPECT_EQ(QueryRows(checking_, "SELECT DISTINCT STA FROM FILELIST"),
              (std::vector<std::vector<std::string>>{{kept}}));
}

// A run whose table is away keeps its registrations in the journal (-9); the station's next
// conversion makes them first, then its own: both hours have their rows, and the journal
// is gone.
TEST_P(ConverterCatalogRun, NextConversionOfTheStationAppliesItsJournal) {
    ExecuteSql(checking_, "ALTER TABLE FILELIST RENAME TO FILELIST_AWAY");
    ProcessResult result = Convert();
    EXPECT_EQ(result.exitCode, 247) << result.out << result.err;
    ExecuteSql(checking_, "ALTER TABLE FILELIST_AWAY RENAME TO FILELIST");
    const std::string journal = dir_ / "archive/ABC/.plq2trq.journal";
    ASSERT_TRUE(std::filesystem::exists(journal));

    plqgen::RecordingSpec later;
    later.sampleFormat = 2;
    later.hour = 15;
    plqgen::WriteRecording(dir_ / "rec.plq", later);
    result = Convert();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.err, HasSubstr("made 216 registrations kept in " + journal));
    EXPECT_FALSE(std::filesystem::exists(journal));
    std::vector<std::vector<std::string>> rows = TypicalRows();
    for (const char* channel : kChannels) {
        rows.push_back({std::string("ABC\\22102013-154734-") + channel + ".ABC", "ABC", channel,
                        NormalCell(std::to_string(kTypicalStart + 7200)), "3600", "100", "1", "3",
                        "PLQ2TRQ", "512"});
    }
    EXPECT_EQ(Rows(), rows);
}

// The recording starts at 13:47:34.25: rows must keep the fraction, which no header holds.
class ConverterLosingPostgres : public ConverterCatalogRun {
  protected:
    void SetUp() override {
        ConverterCatalogRun::SetUp();
        plqgen::RecordingSpec spec;
        spec.sampleFormat = 2;
        spec.millisecond = 250;
        plqgen::WriteRecording(dir_ / "rec.plq", spec);
        ExecuteSql(checking_, "CREATE SEQUENCE updates_seen");
    }
    // Runs `body` of a trigger function before every update of a row.
    void OnEveryUpdate(const std::string& body) {
        ExecuteSql(checking_, "CREATE FUNCTION on_update() RETURNS trigger AS $body$ BEGIN " +
                                  body + " RETURN NEW; END $body$ LANGUAGE plpgsql");
        ExecuteSql(checking_,
                   "CREATE TRIGGER on_update BEFORE UPDATE ON FILELIST "
                   "FOR EACH ROW EXECUTE FUNCTION on_update()");
    }
    std::vector<std::vector<std::string>> ExactRows() const {
        std::vector<std::vector<std::string>> rows = TypicalRows();
        for (auto& row : rows) row[3] = "1382449654.25";
        return rows;
    }
};

// The server ends the converter's session in the middle of the run (its 30th update of a
// row terminates the backend, as a restart of the server would): the converter connects
// again, makes the registration once more and goes on. Every row is there, exact.
TEST_P(ConverterLosingPostgres, LostSessionIsConnectedAgainAndNoRowIsLost) {
    OnEveryUpdate(
        "IF nextval('updates_seen') = 30 THEN PERFORM pg_terminate_backend(pg_backend_pid()); "
        "END IF;");
    const ProcessResult result = Convert();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("Convert data...\nFATAL:  terminating connection due to "
                                      "administrator command\n"));
    EXPECT_THAT(result.err, HasSubstr("the connection to the catalog was lost; connecting again"));
    EXPECT_EQ(Rows(), ExactRows());
}

// The server goes away for good half-way (connections to the catalog are refused from the
// 30th update on): the archive is written whole, every registration left is kept in the
// station's journal, the run ends with -9 and says so; `trq check --repair` makes the rows
// from the journal with their exact start and removes it.
TEST_P(ConverterLosingPostgres, CatalogGoneForGoodLeavesAJournalThatRepairMakesExact) {
    OnEveryUpdate("IF nextval('updates_seen') = 30 THEN PERFORM pg_sleep(60); END IF;");
    TestCatalog maintenance = checking_;
    const std::string database = "Database=" + catalog_.database + ";";
    maintenance.connect.replace(maintenance.connect.find(database), database.size(),
                                "Database=postgres;");
    std::thread stopper([&] {
        while (QueryRows(checking_, "SELECT last_value FROM updates_seen")[0][0] != "30") {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ExecuteSql(maintenance, "ALTER DATABASE " + catalog_.database + " ALLOW_CONNECTIONS false");
        ExecuteSql(maintenance,
                   "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                   "WHERE datname = '" +
                       catalog_.database + "'");
    });
    const ProcessResult result = Convert();
    stopper.join();
    ExecuteSql(maintenance, "ALTER DATABASE " + catalog_.database + " ALLOW_CONNECTIONS true");

    EXPECT_EQ(result.exitCode, 247) << result.out << result.err;  // -9
    const std::string journal = dir_ / "archive/ABC/.plq2trq.journal";
    EXPECT_THAT(result.err, HasSubstr(" registrations were not made; they are kept in " + journal));
    for (const char* channel : kChannels) {
        EXPECT_EQ(std::filesystem::file_size(ArchiveFile(channel)), kWholeFileBytes) << channel;
    }
    ASSERT_TRUE(std::filesystem::exists(journal));

    const ProcessResult repair =
        RunProcess(TRQ_EXE,
                   {"check", dir_ / "archive", "--dsn", catalog_.dsn, "--user", catalog_.user,
                    "--password", catalog_.password, "--repair"},
                   dir_.Path(), catalog_.env);
    EXPECT_EQ(repair.exitCode, 0) << repair.out << repair.err;
    EXPECT_THAT(repair.out, HasSubstr("repair ABC\\.plq2trq.journal: "));
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(Rows(), ExactRows());
}

INSTANTIATE_TEST_SUITE_P(Catalogs, ConverterLosingPostgres,
                         ::testing::Values(CatalogKind::kPostgres), CatalogKindName);

}  // namespace
