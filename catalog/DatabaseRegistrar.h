#pragma once
// The converter's registrar: writes FILELIST rows on the catalog connection. When the
// connection is lost (the server restarted, the session was ended), it connects once more
// and tries the registration again. When that does not help, or the catalog stays locked
// by another program for longer than the data source waits, the catalog counts as
// unavailable for the rest of the run: no further registration is tried (each would wait
// as long again and print the same messages), and the writer keeps them in its journal.

#include <cstdint>
#include <string>

#include "archive/CatalogRegistrar.h"
#include "catalog/CatalogLogin.h"
#include "catalog/FileRegistration.h"

class CDatabase;
class CDBException;

class DatabaseRegistrar : public CatalogRegistrar {
  public:
    // `database` is open (with `login` and `openOptions`, used again to reconnect) and must
    // outlive the registrar.
    DatabaseRegistrar(CDatabase& database, std::string creatorName, CatalogLogin login,
                      uint32_t openOptions);

    RegistrationOutcome Register(RegistrationKind kind, const FileRegistration& file) override;
    // The same with another creator (rows made again from a journal keep the one they had).
    RegistrationOutcome Register(RegistrationKind kind, const FileRegistration& file,
                                 const std::string& creator);
    const std::string& CreatorName() const override { return creatorName_; }

    bool CatalogUnavailable() const { return unavailable_; }

  private:
    // Closes the lost connection and opens it again; false (with the driver's message
    // printed) when the catalog cannot be reached.
    bool Reconnect();
    RegistrationOutcome Unavailable();

    CDatabase& database_;
    FileRowWriter writer_;  // keeps a file's statements prepared between its registrations
    std::string creatorName_;
    CatalogLogin login_;
    uint32_t openOptions_;
    bool unavailable_ = false;
};

// True when the error says that the connection to the database is gone (SQLSTATE class 08,
// connection exception), so that nothing more can be done on it.
bool IsConnectionLost(const CDBException& error);
// True when the database was held by another writer for longer than it waits: SQLite's
// "database is locked" after the data source's Timeout, or a statement that ran out of
// the query timeout (SQLSTATE HYT00) or was cancelled by the server (57014).
bool IsCatalogHeldUp(const CDBException& error);
