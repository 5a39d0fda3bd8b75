#include "odbc/OdbcCalls.h"

OdbcCalls& Odbc() {
    static OdbcCalls calls;
    return calls;
}
