#pragma once
// A transaction on a connection (ODBC 2.x: autocommit off, then SQLTransact): what runs
// between the constructor and Commit takes effect together or not at all. Destroyed
// without Commit (an exception on the way), it rolls back. On a driver without
// transactions every statement commits on its own, as before.

class CDatabase;

class Transaction {
  public:
    // Switches autocommit off. Throws CDBException when the driver refuses.
    explicit Transaction(CDatabase& database);
    // Rolls back unless committed; never throws.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Commits and switches autocommit on again. Throws CDBException when the commit fails
    // (the work is rolled back then), and LayerError::kCommitUnconfirmed when the driver
    // reports it done on a connection that has ended. A connection that cannot be switched
    // back to autocommit is closed: every later statement on it would wait for a commit that
    // never comes (and keep its locks), so its user has to connect again.
    void Commit();

  private:
    void End(unsigned short completion) noexcept;

    CDatabase& database_;
    bool open_ = false;
};
