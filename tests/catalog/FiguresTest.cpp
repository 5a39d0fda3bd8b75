// The figures of the pages and /metrics from the database's aggregates, on SQLite and on
// PostgreSQL: first and last sample, and coverage of windows that end together, with files
// that cross each window's start and its end; the gaps that ended after a time; the files
// and samples of every stream; the mark that changes when a row is written again or removed. Times
// are seconds from 2013-10-23 00:00:00 UTC, the windows' end.

#include <gtest/gtest.h>

#include "catalog/CatalogFigures.h"
#include "tests/support/Catalog.h"

using namespace testsupport;

namespace {

constexpr double kEnd = 1382486400, kSecondsPerDay = 86400;

class Figures : public ::testing::TestWithParam<CatalogKind> {
  protected:
    Figures() : catalog_(MakeCatalog(GetParam(), dir_)) {}
    void Insert(const char* channel, double start, double seconds, std::string station = "ABC") {
        ExecuteSql(catalog_,
                   "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,"
                   "LDDATE,TBEGIN,TQTY,FOFF) VALUES ('" +
                       station + "',2,1,'ABC\\" + std::to_string(rows_++) + "',3,'" + channel +
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

int64_t MicroFromEnd(double seconds) {
    return static_cast<int64_t>((kEnd + seconds) * 1e6);
}

TEST_P(Figures, CoverFilesAcrossEveryEdge) {
    Insert("BHZ", -7 * kSecondsPerDay - 1800, 3600);  // across the week's start: half of it
    Insert("BHZ", -kSecondsPerDay - 600, 3600);       // across the day's start: 3000 s of the day
    Insert("BHZ", -3600, 4800);                       // across the end: 3600 s of each
    Insert("BHZ", 7200, 3600);                        // after the end: the last sample
    Insert("BHN", -2 * kSecondsPerDay, 60);
    Insert("BHN", -kSecondsPerDay, 60);          // data resumed exactly at the time: an older gap
    Insert("BHN", -kSecondsPerDay + 60.25, 60);  // within half a sample period: no gap
    Insert("BHE", -3600, 60);                    // the stream's first data: no gap
    Insert("HHZ", 0, 60, "AB");
    CatalogStore store = Store();
    EXPECT_EQ(store.ListStreams(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"AB", "HHZ"}, {"ABC", "BHE"}, {"ABC", "BHN"}, {"ABC", "BHZ"}}));
    const std::vector<StreamFigures> figures =
        ReadStreamFigures(store, {{"ABC", "BHZ"}, {"ABC", "BHN"}, {"ABC", "HHZ"}, {"ABC", "BHE"}},
                          {{MicroFromEnd(-kSecondsPerDay), MicroFromEnd(0)},
                           {MicroFromEnd(-7 * kSecondsPerDay), MicroFromEnd(0)}},
                          MicroFromEnd(-kSecondsPerDay));
    ASSERT_EQ(figures.size(), 4u);
    // BHZ's data resumed after gaps at -3600 and at 7200.
    std::vector<int> gaps;
    for (const StreamFigures& stream : figures) gaps.push_back(stream.gapsSince);
    EXPECT_EQ(gaps, (std::vector<int>{2, 0, 0, 0}));
    EXPECT_EQ(figures[0].first, MicroFromEnd(-7 * kSecondsPerDay - 1800));
    EXPECT_EQ(figures[0].last, MicroFromEnd(10800));
    EXPECT_EQ(figures[0].covered, (std::vector<int64_t>{6600000000, 9000000000}));
    EXPECT_EQ(figures[1].last, MicroFromEnd(-kSecondsPerDay + 120.25));
    EXPECT_EQ(figures[1].covered, (std::vector<int64_t>{120000000, 180000000}));
    EXPECT_FALSE(figures[2].first.has_value());
    EXPECT_EQ(figures[2].covered, (std::vector<int64_t>{0, 0}));

    const std::vector<StreamTotals> totals = ReadStreamTotals(store);
    ASSERT_EQ(totals.size(), 4u);
    EXPECT_EQ(totals[3].channel, "BHZ");
    EXPECT_EQ(totals[3].files, 4);
    EXPECT_EQ(totals[3].samples, 2 * (3600 + 3600 + 4800 + 3600));

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
