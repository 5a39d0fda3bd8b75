#include "catalog/FileList.h"

#include "odbc/SqlText.h"
#include "platform/Clock.h"

CFileList::CFileList(CDatabase* database) : CRecordset(database), loadDate(platform::Now()) {
    fieldCount_ = 11;
    defaultOpenType_ = kSnapshot;
}

void CFileList::ExchangeFields(FieldExchange& exchange) {
    exchange.SetFieldType(FieldExchange::kResultColumn);
    exchange.ExchangeText("STA", station, 255, SQL_VARCHAR, 0);
    exchange.ExchangeDouble("SPS", samplesPerSecond);
    exchange.ExchangeLong("GAIN", gain);
    exchange.ExchangeText("CPATH", path, 255, SQL_VARCHAR, 0);
    exchange.ExchangeLong("DATATYPE", dataType);
    exchange.ExchangeText("CH", channel, 255, SQL_VARCHAR, 0);
    exchange.ExchangeText("CREATER", creator, 255, SQL_VARCHAR, 0);
    exchange.ExchangeDate("LDDATE", loadDate);
    exchange.ExchangeDouble("TBEGIN", begin);
    exchange.ExchangeDouble("TQTY", duration);
    exchange.ExchangeLong("FOFF", dataOffset);
}

std::string CFileList::PathFilter(const std::string& path) {
    return "cpath='" + sqltext::EscapeLiteral(path) + "'";
}
