#include "odbc/DBException.h"

#include <cstdio>
#include <cstring>

#include "odbc/Database.h"
#include "odbc/OdbcCalls.h"

namespace {

// Buffers of one SQLError call: the five-character SQLSTATE plus NUL, and the message.
constexpr std::size_t kStateCapacity = 6;
constexpr SQLSMALLINT kMessageCapacity = 512;

// Moves the leading "[vendor][component]" origin prefixes of `message` to the end of
// `stateLine`, dropping one blank after each prefix.
void MoveOriginPrefixes(std::string& message, std::string& stateLine) {
    while (!message.empty() && message.front() == '[') {
        std::size_t close = message.find(']');
        if (close == std::string::npos) break;
        stateLine.append(message, 0, close + 1);
        std::size_t cut = close + 1;
        if (cut < message.size() && message[cut] == ' ') ++cut;
        message.erase(0, cut);
    }
}

}  // namespace

void CDBException::BuildErrorTexts(CDatabase* database, SQLHSTMT statement) {
    SQLHENV env = CDatabase::EnvironmentHandle();
    SQLHDBC hdbc = database != nullptr ? database->Handle() : SQL_NULL_HDBC;
    for (;;) {
        SQLCHAR state[kStateCapacity] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[kMessageCapacity] = {};
        SQLSMALLINT messageLength = 0;
        SQLRETURN code = Odbc().Error(env, hdbc, statement, state, &native, message,
                                      kMessageCapacity - 1, &messageLength);
        if (code != SQL_SUCCESS && code != SQL_SUCCESS_WITH_INFO) break;
        state[kStateCapacity - 1] = '\0';
        if (std::strcmp(reinterpret_cast<const char*>(state), "00000") == 0) break;
        message[kMessageCapacity - 1] = '\0';

        std::string text(reinterpret_cast<const char*>(message));
        char head[64];
        std::snprintf(head, sizeof head,
                      "%s,Native:%ld,Origin:", reinterpret_cast<const char*>(state),
                      static_cast<long>(native));
        std::string stateLine(head);
        MoveOriginPrefixes(text, stateLine);
        stateLine += '\n';
        stateText += "State:" + stateLine;
        errorText += text + '\n';
    }
}

bool IsSessionEndState(const std::string& state) {
    return state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03";
}

bool SaysSessionEnded(const CDBException& error) {
    if (error.retCode == LayerError::kCommitUnconfirmed) return true;
    // One "State:SSSSS,..." line per diagnostic record.
    for (std::size_t at = error.stateText.find("State:"); at != std::string::npos;
         at = error.stateText.find("State:", at + 1)) {
        if (IsSessionEndState(error.stateText.substr(at + 6, 5))) return true;
    }
    return false;
}

void ThrowDatabaseError(SQLRETURN code, CDatabase* database, SQLHSTMT statement) {
    CDBException error(code);
    // Only a failing ODBC call has diagnostics; the layer's own codes carry no texts.
    if (code == SQL_ERROR && database != nullptr) error.BuildErrorTexts(database, statement);
    throw error;
}
