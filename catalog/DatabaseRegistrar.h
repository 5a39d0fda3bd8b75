#pragma once
// The converter's registrar: writes FILELIST rows on the catalog connection. When the
// connection is lost (the server restarted, the session was ended), it connects once more
// and tries the registration again; when that does not help, the catalog counts as
// unavailable for the rest of the run and no further registration is tried.

#include <cstdint>
#include <string>

#include "archive/CatalogRegistrar.h"

class CDatabase;
class CDBException;

class DatabaseRegistrar : public CatalogRegistrar {
  public:
    // `database` is open (with `connect` and `openOptions`, used again to reconnect) and
    // must outlive the registrar.
    DatabaseRegistrar(CDatabase& database, std::string creatorName, std::string connect,
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
    std::string creatorName_;
    std::string connect_;
    uint32_t openOptions_;
    bool unavailable_ = false;
};

// True when the error says that the connection to the database is gone (SQLSTATE class 08,
// connection exception), so that nothing more can be done on it.
bool IsConnectionLost(const CDBException& error);
