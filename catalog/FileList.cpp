#include "catalog/FileList.h"

#include "odbc/SqlText.h"
#include "platform/Clock.h"

namespace {

constexpr const char* kColumns[CFileList::kColumnCount] = {
    "STA", "SPS", "GAIN", "CPATH", "DATATYPE", "CH", "CREATER", "LDDATE", "TBEGIN", "TQTY", "FOFF"};

}  // namespace

CFileList::CFileList(CDatabase* database) : CRecordset(database), loadDate(platform::Now()) {
    fieldCount_ = kColumnCount;
    defaultOpenType_ = kSnapshot;
}

void CFileList::ExchangeFields(FieldExchange& exchange) {
    exchange.SetFieldType(FieldExchange::kResultColumn);
    exchange.ExchangeText(kColumns[0], station, 255, SQL_VARCHAR, 0);
    exchange.ExchangeDouble(kColumns[1], samplesPerSecond);
    exchange.ExchangeLong(kColumns[2], gain);
    exchange.ExchangeText(kColumns[3], path, 255, SQL_VARCHAR, 0);
    exchange.ExchangeLong(kColumns[4], dataType);
    exchange.ExchangeText(kColumns[5], channel, 255, SQL_VARCHAR, 0);
    exchange.ExchangeText(kColumns[6], creator, 255, SQL_VARCHAR, 0);
    exchange.ExchangeDate(kColumns[7], loadDate);
    exchange.ExchangeDouble(kColumns[8], begin);
    exchange.ExchangeDouble(kColumns[9], duration);
    exchange.ExchangeLong(kColumns[10], dataOffset);
}

const char* CFileList::ColumnName(int field) {
    return kColumns[field - 1];
}

std::string CFileList::PathFilter(const std::string& path) {
    return "cpath='" + sqltext::EscapeLiteral(path) + "'";
}
