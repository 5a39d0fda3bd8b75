// The golden recording (tests/golden) converted on SQLite and on PostgreSQL: the console
// output, the three archive files and the catalog rows, each compared whole.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Workspace.h"

using namespace testsupport;

namespace {

const std::string kGolden = PLQ_SOURCE_DIR "/tests/golden";

class Golden : public ::testing::TestWithParam<CatalogKind> {};

TEST_P(Golden, ConversionLeavesTheGoldenConsoleFilesAndRows) {
    Workspace ws(GetParam());
    std::filesystem::copy_file(kGolden + "/rec.plq", ws.Path("rec.plq"));
    const ProcessResult result = ws.Convert("rec.plq");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::string console = ReadFile(kGolden + "/console.txt");
    console.replace(console.find("@USER@"), 6, ws.Catalog().user);
    console.replace(console.find("@ARCHIVE@"), 9, ws.ArchiveDir());
    EXPECT_EQ(result.out, console);
    EXPECT_EQ(result.err, "");
    for (const char* channel : {"BHE", "BHN", "BHZ"}) {
        const std::string file = std::string("ABC/22102013-134734-") + channel + ".ABC";
        EXPECT_EQ(ReadFile(ws.ArchiveDir() + "/" + file), ReadFile(kGolden + "/archive/" + file))
            << file;
    }
    EXPECT_EQ(ws.ArchiveFiles().size(), 3u);
    std::string rows;
    for (const auto& row : ws.CatalogRows()) {
        for (std::size_t i = 0; i < row.size(); ++i) rows += (i ? "|" : "") + row[i];
        rows += "\n";
    }
    EXPECT_EQ(rows, ReadFile(kGolden + "/rows.txt"));
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Golden,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
