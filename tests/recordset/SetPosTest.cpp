// Writes through SQLSetPos: the update method of a connection whose driver positions rows
// itself. Of the drivers here, PostgreSQL's does (without the cursor library). SQLite's
// announces SQLSetPos too, but writes the bound value of a column marked SQL_IGNORE on
// add and refuses updates of a rowset fetched with SQLExtendedFetch ("incompatible
// rowset"), so these cases run on PostgreSQL only.

#include <gtest/gtest.h>

#include <functional>

#include "catalog/FileList.h"
#include "odbc/DBException.h"
#include "odbc/Recordset.h"
#include "tests/recordset/CatalogDatabase.h"

using namespace testsupport;

namespace {

void Guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const CDBException& error) {
        FAIL() << "CDBException " << error.retCode << ": " << error.errorText << error.stateText;
    }
}

class SetPosOnCatalog : public CatalogDatabaseTest {
  protected:
    void SetUp() override { OpenCatalog(true, 0); }
};

TEST_P(SetPosOnCatalog, AddsChangesAndDeletesRowsThroughTheCursor) {
    Guarded([&] {
        {
            CFileList row(&database_);
            row.SetFilter(CFileList::PathFilter("p"));
            row.Open();
            ASSERT_EQ(row.GetUpdateMethod(), CRecordset::UpdateMethod::kSetPos);
            row.AddNew();
            row.station = "STA1";
            row.path = "p";
            row.channel = "CH1";
            row.gain = 1;
            row.duration = 50;
            row.loadDate = 1600000000;
            EXPECT_TRUE(row.Update());
            EXPECT_EQ(row.LastUpdateStatementText(), "");
        }
        EXPECT_EQ(
            Rows("STA,CPATH,CH,GAIN,TQTY,FOFF"),
            (std::vector<std::vector<std::string>>{{"STA1", "p", "CH1", "1", "50", "<NULL>"}}));
        {
            CFileList row(&database_);
            row.SetFilter(CFileList::PathFilter("p"));
            row.Open();
            ASSERT_FALSE(row.IsEOF());
            row.Edit();
            row.duration = 100;
            row.dataOffset = 512;
            EXPECT_TRUE(row.Update());
        }
        EXPECT_EQ(Rows("STA,CPATH,CH,GAIN,TQTY,FOFF"),
                  (std::vector<std::vector<std::string>>{{"STA1", "p", "CH1", "1", "100", "512"}}));
        {
            CFileList row(&database_);
            row.SetFilter(CFileList::PathFilter("p"));
            row.Open();
            row.Delete();
            EXPECT_TRUE(row.IsDeleted());
        }
        EXPECT_TRUE(Rows().empty());
    });
}

INSTANTIATE_TEST_SUITE_P(Catalogs, SetPosOnCatalog, ::testing::Values(CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
