#pragma once
// Field exchange: a record class lists its fields once, in ExchangeFields, as one call of
// ExchangeText, ExchangeLong, ExchangeDouble or ExchangeDate per column. Every job that
// visits all fields (binding result columns, fixing up a fetched row, composing column
// lists and parameters, detecting changed fields, caching values) is one pass of that
// list with a FieldExchange whose pass says which job it is.
//
// The rules the passes apply per field kind are in odbc/FieldRules.h.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "odbc/FieldRules.h"
#include "odbc/FieldSlot.h"

class CRecordset;

class FieldExchange {
  public:
    enum Pass {
        kBindColumn,         // SQLBindCol for every result column
        kFixup,              // a fetched row into the members
        kSetNull,            // every field null
        kMarkForAddNew,      // dirty bits of a new record
        kMarkForUpdate,      // dirty bits of an edited record against the cache
        kStore,              // members into the cache
        kLoad,               // cache into the members
        kName,               // "COL," for each dirty field
        kNameValue,          // "COL=?," for each dirty field, binding parameters
        kValue,              // "?," for each dirty field, binding parameters
        kBindForUpdate,      // indicators for SQLSetPos: send dirty fields, ignore the rest
        kUnbindAfterUpdate,  // indicators back after SQLSetPos
        kAllocateCache,      // a cache entry of the right kind per field
    };
    enum FieldType { kNoFieldType, kResultColumn };

    FieldExchange(Pass pass, CRecordset& recordset) : pass_(pass), recordset_(recordset) {}

    // Called by ExchangeFields before the calls of its result columns.
    void SetFieldType(FieldType type) { fieldType_ = type; }

    // One call per field, in the order of the result columns. Column names are kept by
    // pointer while the recordset is open: pass string literals.
    void ExchangeText(const char* column, std::string& member, SQLLEN maxLength = 255,
                      SQLSMALLINT columnType = SQL_VARCHAR, SQLSMALLINT scale = 0);
    void ExchangeLong(const char* column, int32_t& member);
    void ExchangeDouble(const char* column, double& member);
    void ExchangeDate(const char* column, std::time_t& member);

    // Text passes build into `text`, each entry followed by the separator.
    void SetText(std::string* text, const char* separator) {
        text_ = text;
        separator_ = separator;
    }
    // Parameter passes bind on `statement`, numbering from 1.
    void SetParameterStatement(SQLHSTMT statement) { parameterStatement_ = statement; }
    // Restricts the pass to one field (1-based); 0: all fields.
    void RestrictToField(int field) { restrictTo_ = field; }
    // The set-null pass sets null (true) or clears the null bit (false).
    void SetNullFlag(bool setNull) { setNull_ = setNull; }

    Pass GetPass() const { return pass_; }
    int FieldsVisited() const { return field_; }
    int ParametersBound() const { return parametersBound_; }

  private:
    // The field being visited, as a pass sees it.
    template <typename Kind>
    struct Field {
        FieldSlot& slot;
        const char* column;
        typename Kind::Member& member;
        SQLLEN maxLength;  // of a text field's value
    };

    template <typename Kind>
    void Exchange(const char* column, typename Kind::Member& member, SQLLEN maxLength);
    template <typename Kind>
    void Dispatch(Field<Kind>& field);

    // One function per pass.
    template <typename Kind>
    void BindColumn(Field<Kind>& field);
    template <typename Kind>
    void Fixup(Field<Kind>& field);
    template <typename Kind>
    void SetNull(Field<Kind>& field);
    template <typename Kind>
    void MarkForAddNew(Field<Kind>& field);
    template <typename Kind>
    void MarkForUpdate(Field<Kind>& field);
    template <typename Kind>
    void Store(Field<Kind>& field);
    template <typename Kind>
    void Load(Field<Kind>& field);
    template <typename Kind>
    void Name(Field<Kind>& field);
    template <typename Kind>
    void NameValue(Field<Kind>& field);
    template <typename Kind>
    void Value(Field<Kind>& field);
    template <typename Kind>
    void BindForUpdate(Field<Kind>& field);
    template <typename Kind>
    void UnbindAfterUpdate(Field<Kind>& field);
    template <typename Kind>
    void AllocateCache(Field<Kind>& field);

    template <typename Kind>
    SQLLEN ColumnBuffer(Field<Kind>& field, void*& buffer);
    template <typename Kind>
    void AppendParameter(Field<Kind>& field);
    template <typename Kind>
    void BindParameter(Field<Kind>& field);
    void Append(const char* piece);

    Pass pass_;
    CRecordset& recordset_;
    FieldType fieldType_ = kNoFieldType;
    int field_ = 0;  // 1-based number of the field being visited
    std::string* text_ = nullptr;
    const char* separator_ = ",";
    SQLHSTMT parameterStatement_ = SQL_NULL_HSTMT;
    int parametersBound_ = 0;
    int restrictTo_ = 0;
    bool setNull_ = true;
};
