#pragma once
// A driver that runs a statement asynchronously answers SQL_STILL_EXECUTING until the
// work is done, and expects the same call again to learn the outcome. The layer always
// waits for the outcome, so every call that may answer so goes through UntilDone.

#include <sql.h>

// Makes `call` (returning SQLRETURN) until it answers something other than
// SQL_STILL_EXECUTING, and returns that answer.
template <typename Call>
SQLRETURN UntilDone(Call&& call) {
    SQLRETURN code;
    do {
        code = call();
    } while (code == SQL_STILL_EXECUTING);
    return code;
}
