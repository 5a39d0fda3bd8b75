// Closing a connection closes the recordsets registered on it first, under the re-entrant
// ODBC lock, and detaches them from the connection.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "odbc/Database.h"
#include "odbc/Recordset.h"
#include "tests/support/Catalog.h"

using testsupport::MakeSqliteCatalog;
using testsupport::TempDir;
using testsupport::TestCatalog;

namespace {

std::vector<std::string> closeOrder;

// A recordset that only records its Close. Constructed on a closed connection, so the
// base allocates no statement; it registers itself by hand.
class ProbeRecordset : public CRecordset {
  public:
    enum class OnClose { kUnregister, kStayRegistered, kThrow };
    ProbeRecordset(CDatabase& database, std::string name, OnClose onClose = OnClose::kUnregister)
        : CRecordset(nullptr), name_(std::move(name)), onClose_(onClose) {
        database_ = &database;
        database.AddRecordset(this);
    }
    ~ProbeRecordset() override {
        if (database_ != nullptr) database_->RemoveRecordset(this);
    }
    void Close() override {
        closeOrder.push_back(name_);
        if (onClose_ == OnClose::kThrow) throw std::runtime_error("close failed");
        // Unregistering takes the ODBC lock again while Close holds it.
        if (onClose_ == OnClose::kUnregister && database_ != nullptr) {
            database_->RemoveRecordset(this);
        }
    }
    bool Detached() const { return database_ == nullptr; }

  private:
    std::string name_;
    OnClose onClose_;
};

class RegisteredRecordsets : public testing::Test {
  protected:
    void SetUp() override {
        closeOrder.clear();
        catalog_ = MakeSqliteCatalog(dir_);
        catalog_.UseInThisProcess();
    }
    TempDir dir_;
    TestCatalog catalog_;
};

TEST_F(RegisteredRecordsets, CloseClosesAndDetachesEachInRegistrationOrder) {
    CDatabase database;
    ProbeRecordset first(database, "first");
    ProbeRecordset second(database, "second");
    ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    database.Close();
    EXPECT_EQ(closeOrder, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(first.Detached());
    EXPECT_TRUE(second.Detached());
    EXPECT_FALSE(database.IsOpen());
    // Nothing stays registered: a second Close closes nothing.
    database.Close();
    EXPECT_EQ(closeOrder.size(), 2u);
}

TEST_F(RegisteredRecordsets, UnregisteredRecordsetIsNotClosed) {
    CDatabase database;
    ProbeRecordset kept(database, "kept");
    ProbeRecordset gone(database, "gone");
    database.RemoveRecordset(&gone);
    database.Close();
    EXPECT_EQ(closeOrder, (std::vector<std::string>{"kept"}));
    EXPECT_FALSE(gone.Detached());
    gone.DetachDatabase();
}

// A recordset whose Close does not unregister is still dropped from the list, so Close
// ends.
TEST_F(RegisteredRecordsets, RecordsetThatStaysRegisteredDoesNotHangClose) {
    CDatabase database;
    ProbeRecordset stubborn(database, "stubborn", ProbeRecordset::OnClose::kStayRegistered);
    database.Close();
    EXPECT_EQ(closeOrder, (std::vector<std::string>{"stubborn"}));
    EXPECT_TRUE(stubborn.Detached());
}

// Close lets a recordset's error travel on; destruction swallows it and still disconnects.
TEST_F(RegisteredRecordsets, FailingRecordsetCloseRaisesFromCloseButNotFromDestruction) {
    auto failing = std::make_unique<CDatabase>();
    ProbeRecordset probe(*failing, "failing", ProbeRecordset::OnClose::kThrow);
    ASSERT_TRUE(failing->Open(catalog_.connect, CDatabase::kUseCursorLib));
    EXPECT_THROW(failing->Close(), std::runtime_error);
    EXPECT_EQ(CDatabase::ConnectionCount(), 1);
    EXPECT_NO_THROW(failing.reset());
    EXPECT_TRUE(probe.Detached());
    EXPECT_EQ(CDatabase::ConnectionCount(), 0);
    EXPECT_EQ(CDatabase::EnvironmentHandle(), nullptr);
}

}  // namespace

namespace {

// A recordset of the layer itself holds a statement on the open connection; closing the
// connection frees that statement before disconnecting.
TEST_F(RegisteredRecordsets, LayerRecordsetIsClosedWithTheConnection) {
    CDatabase database;
    ASSERT_TRUE(database.Open(catalog_.connect, CDatabase::kUseCursorLib));
    CRecordset recordset(&database);
    database.Close();
    EXPECT_FALSE(database.IsOpen());
    EXPECT_EQ(CDatabase::ConnectionCount(), 0);
}

}  // namespace
