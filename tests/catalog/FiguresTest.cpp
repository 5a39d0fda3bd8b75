// The figures of the pages and /metrics from the database's aggregates, on SQLite and on
// PostgreSQL: first and last sample, and coverage of windows that end together, with files
// that cross each window's start and its end; the files and samples of every stream; the
// mark that changes when a row is written again or removed. Times are seconds from
// 2013-10-23 00:00:00 UTC, the windows' end.

#include <gtest/gtest.h>

#include "catalog/CatalogFigures.h"
#include "tests/support/Catalog.h"

using namespace testsupport;

namespace {

constexpr double kEnd = 1382486400, kDay = 86400;

class Figures : public ::testing::TestWithParam<CatalogKind> {
  protected:
    Figures() : catalog_(MakeCatalog(GetParam(), dir_)) {}
    void Insert(const char* channel, double start, double seconds) {
        ExecuteSql(catalog_,
                   "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,"
                   "LDDATE,TBEGIN,TQTY,FOFF) VALUES ('ABC',2,1,'ABC\\" +
                       std::to_string(rows_++) + "',3,'" + channel +
                       "','PLQ2TRQ','2013-10-23 00:00:00'," + std::to_string(kEnd + start) + "," +
                       std::to_string(seconds) + ",512)");
    }
    CatalogStore Store() const {
        return CatalogStore({"", "", "", false, catalog_.connect}, CatalogStore::Use::kReadOnly);
    }

    TempDir dir_;
    TestCatalog catalog_;
    int rows_ = 0;
};

int64_t Micro(double seconds) {
    return static_cast<int64_t>((kEnd + seconds) * 1e6);
}

TEST_P(Figures, CoverFilesAcrossEveryEdge) {
    Insert("BHZ", -7 * kDay - 1800, 3600);  // across the week's start: half of it
    Insert("BHZ", -kDay - 600, 3600);       // across the day's start: 3000 s of the day
    Insert("BHZ", -3600, 4800);             // across the end: 3600 s of each
    Insert("BHZ", 7200, 3600);              // after the end: the last sample
    Insert("BHN", -2 * kDay, 60);
    CatalogStore store = Store();
    const std::vector<StreamFigures> figures =
        ReadStreamFigures(store, {{"ABC", "BHZ"}, {"ABC", "BHN"}, {"ABC", "BHE"}},
                          {{Micro(-kDay), Micro(0)}, {Micro(-7 * kDay), Micro(0)}});
    ASSERT_EQ(figures.size(), 3u);
    EXPECT_EQ(figures[0].first, Micro(-7 * kDay - 1800));
    EXPECT_EQ(figures[0].last, Micro(10800));
    EXPECT_EQ(figures[0].covered, (std::vector<int64_t>{6600000000, 9000000000}));
    EXPECT_EQ(figures[1].last, Micro(-2 * kDay + 60));
    EXPECT_EQ(figures[1].covered, (std::vector<int64_t>{0, 60000000}));
    EXPECT_FALSE(figures[2].first.has_value());
    EXPECT_EQ(figures[2].covered, (std::vector<int64_t>{0, 0}));

    const std::vector<StreamTotals> totals = ReadStreamTotals(store);
    ASSERT_EQ(totals.size(), 2u);
    EXPECT_EQ(totals[1].channel, "BHZ");
    EXPECT_EQ(totals[1].files, 4);
    EXPECT_EQ(totals[1].samples, 2 * (3600 + 3600 + 4800 + 3600));

    const CatalogMark before = ReadCatalogMark(store);
    ExecuteSql(catalog_, "UPDATE FILELIST SET TQTY=TQTY+0.5 WHERE CH='BHN'");
    const CatalogMark grown = ReadCatalogMark(store);
    EXPECT_NE(grown, before);
    ExecuteSql(catalog_, "DELETE FROM FILELIST WHERE CH='BHN'");
    EXPECT_NE(ReadCatalogMark(store), grown);
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Figures,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
