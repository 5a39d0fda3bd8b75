#include "odbc/Recordset.h"

// Stand-in until the recordset layer lands.
CRecordset::CRecordset(CDatabase* database) : database_(database) {}
CRecordset::~CRecordset() = default;
void CRecordset::Close() {}
