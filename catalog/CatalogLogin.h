#pragma once
// How a program logs in to the catalog: the data source name, a user and a password.

#include <cstdint>
#include <string>

class CDatabase;

// The longest a program waits for one thing of the catalog (a registration, a request's
// rows), reconnecting after a lost connection included, when [DATABASE] TIMEOUT does not say.
inline constexpr int kDefaultCatalogTimeout = 30;

struct CatalogLogin {
    std::string dsn;
    std::string user;
    std::string password;
    // The converter names UID and PWD always (an empty value is a login without one); the
    // toolkit only those given, so that settings of the data source's odbc.ini stay in force.
    bool nameEveryValue = false;
    // A whole connect string used as it stands instead of the three values (one that names
    // the driver and its settings directly, as tests do).
    std::string wholeConnectString;
    // Seconds one catalog operation may take, whatever the server or the network does.
    int timeoutSeconds = kDefaultCatalogTimeout;

    // "DSN=<dsn>;UID=<user>;PWD=<password>;" (UID and PWD as nameEveryValue says); values
    // with ';', braces or outer blanks in braces.
    std::string ConnectString() const;
    // The same with "***" for the password, for printing.
    std::string PrintableConnectString() const;
    // Opens `database` (CDatabase::OpenDataSource); throws CDBException as Open does.
    bool Open(CDatabase& database, uint32_t options) const;
};
