#pragma once
// A result set of one SELECT on a CDatabase connection, whose current row lives in the
// member fields of a record class derived from it, with the operations that add, change
// and delete rows.
//
// A record class declares its members, sets fieldCount_ in its constructor and lists the
// members in ExchangeFields, one FieldExchange call per result column. The recordset
// then composes every statement itself:
//
//   Open      SELECT A,B,C  FROM T WHERE <filter>      (a table name as DefaultSQL)
//   AddNew    INSERT INTO T (A,C) VALUES (?,?)          (the fields that are not null)
//   Edit      UPDATE T SET B=?  WHERE CURRENT OF <cursor>   (the fields that changed)
//   Delete    DELETE FROM T WHERE CURRENT OF <cursor>
//
// Writes go either through SQLSetPos or through such statements on a second statement
// handle, as the driver's update options decide at Open. On a connection that requested
// the cursor library or kSearchedPositionedWrites, a positioned statement is executed in
// its searched form (see odbc/PositionedStatement.h).
//
// Every failure raises CDBException: driver errors with the statement's diagnostics, the
// layer's own conditions with the codes of LayerError. Single-threaded.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "odbc/FieldExchange.h"
#include "odbc/PositionedStatement.h"
#include "odbc/StatementHandle.h"

class CDatabase;
class CDBException;

class CRecordset {
  public:
    // Open types.
    static constexpr unsigned kKeysetDriven = 0;
    static constexpr unsigned kSnapshot = 1;  // static cursor
    static constexpr unsigned kForwardOnly = 2;
    static constexpr unsigned kDynamic = 3;
    static constexpr unsigned kDefaultOpenType = 0xFFFFFFFFu;  // "-1": the class's default
    // Open options (0: appendable and updatable).
    static constexpr uint32_t kReadOnly = 0x4;    // neither appendable nor updatable
    static constexpr uint32_t kAppendOnly = 0x8;  // appendable, not updatable
    // Edit modes.
    enum EditMode { kNoEdit = 0, kEditMode = 1, kAddNewMode = 2 };
    enum class UpdateMethod { kNone, kSetPos, kStatements };
    enum class LockMode { kOptimistic, kPessimistic };

    // A closed recordset on `database` (may be null: Open then connects with
    // DefaultConnect). Allocates its statement at once when the connection is open.
    explicit CRecordset(CDatabase* database = nullptr);
    // Closes an open recordset; never raises.
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    // Runtime class name.
    virtual const char* ClassName() const { return "CRecordset"; }

    // Executes the SELECT and fetches the first row. `sql` null: DefaultSQL. True when
    // open; false only when a connection the recordset opens itself reports false.
    virtual bool Open(unsigned openType = kDefaultOpenType, const char* sql = nullptr,
                      uint32_t options = 0);
    // Executes the SELECT of Open again and fetches its first row. The statement stays as
    // Open prepared it, with its columns bound (the filter and sort of Open apply): the
    // driver neither prepares nor describes it again. Requires a recordset Open succeeded
    // on; closes it when the execution fails.
    virtual void Requery();
    // Ends the result set (the driver lets go of the rows and of what it held to read them)
    // and keeps the SELECT prepared and bound for Requery; no record is current until then.
    void CloseCursor();
    // Frees the statements and every buffer and unregisters from the connection.
    virtual void Close();
    // Fetches the next row (or reaches EOF).
    virtual void MoveNext();
    // Starts composing a new record: every field null.
    virtual void AddNew();
    // Starts changing the current record.
    virtual void Edit();
    // Sends the new or changed record. False when no field had changed (nothing sent).
    virtual bool Update();
    // Deletes the current record at once.
    virtual void Delete();

    // Connect string for a recordset that opens its own connection.
    virtual std::string DefaultConnect() const { return "ODBC;"; }
    // Table name or statement used when Open gets none.
    virtual std::string DefaultSQL() const { return std::string(); }
    // Lists the fields; the base class has none.
    virtual void ExchangeFields(FieldExchange&) {}
    // Success test: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NEED_DATA, SQL_NO_DATA_FOUND.
    virtual bool IsSuccess(SQLRETURN code) const;

    // Forgets the connection (it is closing underneath this recordset).
    void DetachDatabase() { database_ = nullptr; }

    bool IsOpen() const { return isOpen_; }
    bool IsEOF() const { return isEOF_; }
    bool IsBOF() const { return isBOF_; }
    bool IsDeleted() const { return isDeleted_; }
    bool CanAppend() const { return appendable_; }
    bool CanUpdate() const { return updatable_; }
    bool CanScroll() const { return scrollable_; }
    EditMode GetEditMode() const { return editMode_; }
    UpdateMethod GetUpdateMethod() const { return updateMethod_; }
    SQLULEN Concurrency() const { return concurrency_; }

    void SetFilter(std::string filter) { filter_ = std::move(filter); }
    const std::string& Filter() const { return filter_; }
    // Texts bound, in order, to the filter's '?' markers when the SELECT runs: values that
    // come from outside (a web request) never become part of the statement's text.
    void SetFilterParameters(std::vector<std::string> parameters) {
        filterParameters_ = std::move(parameters);
    }
    void SetSort(std::string sort) { sort_ = std::move(sort); }

    // The SELECT as sent.
    const std::string& StatementText() const { return statementText_; }
    // The table the recordset writes to (from the SELECT).
    const std::string& TableName() const { return tableName_; }
    // The last INSERT, UPDATE or DELETE composed by a write ("" before the first).
    const std::string& LastUpdateStatementText() const { return lastUpdateStatementText_; }
    // What that write executed: the same text, or its searched form on a connection that
    // uses the cursor library.
    const std::string& LastExecutedUpdateText() const { return lastExecutedUpdateText_; }
    const std::string& CursorName() const { return cursorName_; }
    // Status byte of a field (1-based), kFieldDirty | kFieldNull.
    uint8_t FieldStatus(int field) const;

  protected:
    // Sets the statement options before the SELECT is prepared: query time-out, scrolling,
    // cursor type, update method and concurrency.
    virtual void SetStatementOptions(SQLHSTMT statement);
    // Raises CDBException for `code` with the diagnostics of `statement`.
    [[noreturn]] void RaiseError(SQLRETURN code, SQLHSTMT statement) const;

    CDatabase* database_ = nullptr;
    int fieldCount_ = 0;  // set by the record class: its number of ExchangeFields calls
    unsigned defaultOpenType_ = kSnapshot;

  private:
    friend class FieldExchange;

    // Opening and fetching (RecordsetOpen.cpp).
    bool EnsureStatement();
    void AllocateFieldData();
    void BuildStatementText(const char* sql);
    void PrepareSelect();
    void BindFilterParameters();
    void StepDownConcurrency();
    void ExecuteSelect();
    void DescribeColumns();
    void Fetch();
    void CheckFetchResult(SQLRETURN code);

    // Statement options (RecordsetOptions.cpp).
    void ChooseUpdateMethod();
    void ChooseConcurrency();

    // Field passes, errors, closing (Recordset.cpp).
    void RunPass(FieldExchange::Pass pass);
    void RunTextPass(FieldExchange::Pass pass, std::string& text, const char* separator,
                     SQLHSTMT parameterStatement, int* parametersBound = nullptr);
    bool AnyFieldDirty() const;
    void ClearDirtyBits();
    CDBException Diagnostics(SQLRETURN code, SQLHSTMT statement) const;
    // A statement text as the ODBC calls take it (they do not write to it).
    static SQLCHAR* SqlChars(const std::string& text);

    // Writing (RecordsetWrite.cpp).
    bool WriteRecord();
    void WriteThroughSetPos();
    void WriteThroughStatement();
    void PrepareUpdateStatement();
    std::string ComposeWrite(int& parametersBound);
    std::string ExecutedWriteText(int parametersBound);
    void ExecuteWrite(const std::string& text);
    void PrepareWrite(const std::string& text);
    void ReadCursorName();
    void AfterWrite() noexcept;
    bool EmulatesPositionedStatements() const;

    StatementHandle statement_;                 // the SELECT
    std::unique_ptr<CDatabase> ownedDatabase_;  // only when the recordset connected itself
    std::string filter_;
    std::vector<std::string> filterParameters_;
    std::vector<SQLLEN> filterParameterLengths_;  // bound with them: alive until Close
    std::string sort_;
    UpdateMethod updateMethod_ = UpdateMethod::kNone;
    uint32_t options_ = 0;
    int resultColumnCount_ = -1;
    std::vector<ColumnDescription> columns_;
    std::vector<FieldSlot> fields_;
    unsigned openType_ = kSnapshot;
    LockMode lockMode_ = LockMode::kOptimistic;
    SQLUINTEGER driverConcurrency_ = 0;  // SQL_SCROLL_CONCURRENCY bits
    SQLULEN concurrency_ = SQL_CONCUR_READ_ONLY;
    bool isOpen_ = false;
    EditMode editMode_ = kNoEdit;
    long currentRecord_ = -1;
    long recordCount_ = 0;
    int boundFieldCount_ = 0;
    std::string statementText_;
    std::string tableName_;
    std::string updateStatementText_;
    std::string lastUpdateStatementText_;
    std::string lastExecutedUpdateText_;
    std::string cursorName_;
    bool hasCursorName_ = false;
    bool isBOF_ = true;
    bool isEOF_ = true;
    bool isDeleted_ = false;
    bool appendable_ = false;
    bool updatable_ = false;
    bool scrollable_ = false;
    SQLUSMALLINT rowStatus_ = 0;
    StatementHandle updateStatement_;  // INSERT, UPDATE and DELETE statements
    std::string preparedWriteText_;    // the write prepared on updateStatement_ ("" if none)
    CurrentRowKey currentRow_;
};
