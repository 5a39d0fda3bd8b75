#pragma once
// A result set of one SELECT on a CDatabase connection, whose current row lives in the
// member fields of a record class derived from it, with the operations that add, change
// and delete rows. (Interface grows with the recordset layer.)

class CDatabase;

class CRecordset {
public:
    explicit CRecordset(CDatabase* database = nullptr);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    // Frees the statements and every buffer and unregisters from the connection.
    virtual void Close();
    // Forgets the connection (it is closing underneath this recordset).
    void DetachDatabase() { database_ = nullptr; }

protected:
    CDatabase* database_ = nullptr;
};
