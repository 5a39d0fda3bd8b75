#include "odbc/TextParameters.h"

#include <algorithm>

#include "odbc/DBException.h"
#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"
#include "odbc/StatementHandle.h"
#include "odbc/UntilDone.h"

SQLRETURN BindTextParameters(SQLHSTMT statement, std::vector<std::string>& texts,
                             std::vector<SQLLEN>& lengths) {
    lengths.assign(texts.size(), 0);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string& text = texts[i];
        lengths[i] = static_cast<SQLLEN>(text.size());
        // The column size may not be 0, even for an empty text.
        const SQLRETURN code = Odbc().BindParameter(
            statement, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
            std::max<SQLULEN>(text.size(), 1), 0, text.data(), lengths[i], &lengths[i]);
        if (!CDatabase::IsSuccess(code)) return code;
    }
    return SQL_SUCCESS;
}

void ExecuteWithTextParameters(CDatabase& database, const std::string& sql,
                               std::vector<std::string> texts) {
    StatementHandle statement;
    auto check = [&](SQLRETURN code) {
        if (!CDatabase::IsSuccess(code)) ThrowDatabaseError(code, &database, statement.Get());
    };
    check(statement.Allocate(database.Handle()));
    std::string text = sql;
    check(UntilDone([&] {
        return Odbc().Prepare(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    }));
    std::vector<SQLLEN> lengths;
    check(BindTextParameters(statement.Get(), texts, lengths));
    check(database.StatementAnswer(UntilDone([&] { return Odbc().Execute(statement.Get()); }),
                                   statement.Get()));
}
