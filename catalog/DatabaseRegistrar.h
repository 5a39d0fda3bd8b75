#pragma once
// The converter's registrar: writes FILELIST rows on the catalog connection. When the
// connection is lost (the server restarted, the session was ended), it connects again, with
// growing pauses, and tries the registration again, until the login's time-out has passed
// since the registration began. No registration takes longer than that time-out, whatever
// the server does: a watchdog cuts a connection that keeps a call waiting past it. When the
// time-out passes, or the catalog stays locked by another program for longer than the data
// source waits, the catalog counts as unavailable for the rest of the run: no further
// registration is tried (each would wait as long again and print the same messages), and
// the writer keeps them in its journal.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/CatalogRegistrar.h"
#include "catalog/CatalogLogin.h"
#include "catalog/FileRowWriter.h"
#include "odbc/CallWatchdog.h"

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
    // In one transaction: all or none. A lost connection is handled as for one registration.
    GroupOutcome RegisterExtensions(const std::vector<FileRegistration>& files) override;
    // Writes the record of a recording (catalog/RecordingRows.h) like a registration. A
    // record that a usable catalog cannot keep (it lacks the tables, or refuses the row) is
    // said once and not kept: it counts as made, so that it never holds a journal up.
    RegistrationOutcome RegisterRecording(const RecordingRecord& record) override;
    const std::string& CreatorName() const override { return creatorName_; }
    // Asks the catalog once, under the time-out; true when the question fails (the
    // registrations, which ask again, decide then).
    bool KeepsChecksums() override;

    // Gives the catalog up from the start: a caller that knows it is away (a service whose
    // last conversion found it so) has every registration kept in the journal at once.
    void GiveUp() { unavailable_ = true; }
    // Whether the catalog has been given up (the time-out passed, or GiveUp).
    bool GaveUp() const { return unavailable_; }

  private:
    using RowWork = std::function<void()>;
    // Runs `work` (one registration or one group, throwing CDBException) under the
    // time-out: again after a collision, on a new connection after a lost one.
    RegistrationOutcome Run(const RowWork& work);
    // Connects again after a lost connection and repeats the work, as long as the watch
    // allows.
    RegistrationOutcome WriteOnNewConnection(const CallWatchdog::Watch& watch, const RowWork& work);
    // Closes the lost connection and opens it again; false (with the driver's message in
    // `failure`) when the catalog cannot be reached.
    bool Reconnect(std::string& failure);
    RegistrationOutcome Unavailable();
    // The catalog kept a registration waiting past the time-out (the reason is printed).
    RegistrationOutcome GaveUpWaiting();

    CDatabase& database_;
    FileRowWriter writer_;  // keeps a file's statements prepared between its registrations
    std::string creatorName_;
    CatalogLogin login_;
    uint32_t openOptions_;
    bool unavailable_ = false;
    CallWatchdog watchdog_;
};

// True when the database was held by another writer for longer than it waits: SQLite's
// "database is locked" after the data source's Timeout, or a statement that ran out of
// the query timeout (SQLSTATE HYT00) or was cancelled by the server (57014).
bool IsCatalogHeldUp(const CDBException& error);
