#include "odbc/OdbcLock.h"

std::recursive_mutex& OdbcLock() {
    static std::recursive_mutex lock;
    return lock;
}
