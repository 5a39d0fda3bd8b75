#pragma once
// CFileList: the record class of table FILELIST, one row per archive file.

#include <cstdint>
#include <ctime>
#include <string>

#include "odbc/Recordset.h"

class CFileList : public CRecordset {
  public:
    // A closed recordset on `database` with empty texts, zero numbers and the current
    // time; the registration sets every field before a row is written.
    explicit CFileList(CDatabase* database);

    const char* ClassName() const override { return "CFileList"; }
    std::string DefaultConnect() const override { return "ODBC;DSN=TRQ"; }
    std::string DefaultSQL() const override { return "FILELIST"; }
    void ExchangeFields(FieldExchange& exchange) override;

    // The columns, in the order of the SELECT, INSERT and UPDATE statements: field 1 to
    // kColumnCount.
    static constexpr int kColumnCount = 11;
    static const char* ColumnName(int field);

    // The filter that selects the rows of `path`: cpath='<path>', every apostrophe of the
    // path doubled so that the path is matched literally whatever it holds.
    static std::string PathFilter(const std::string& path);

    // The columns' fields, in their order.
    std::string station;          // STA
    double samplesPerSecond = 0;  // SPS
    int32_t gain = 0;             // GAIN
    std::string path;             // CPATH: station, a backslash, the archive file name
    int32_t dataType = 0;         // DATATYPE: sample data type code
    std::string channel;          // CH
    std::string creator;          // CREATER: the program that wrote the file
    std::time_t loadDate = 0;     // LDDATE: when the row was written (local time in the table)
    double begin = 0;             // TBEGIN: time of the file's first sample, epoch seconds
    double duration = 0;          // TQTY: seconds covered by the file
    int32_t dataOffset = 0;       // FOFF: byte offset of the first sample in the file
};
