#pragma once
// The converter's database and data-directory settings: looked up in its own ini file,
// then in the archive system's trq.ini, then a fixed fallback.

#include <cstddef>
#include <string>

#include "catalog/CatalogLogin.h"
#include "platform/IniFile.h"

// Where the two ini files are read from.
struct SettingsFiles {
    std::string ownIni;  // the converter's own ini, "./plq2trq.ini" in the converter
    std::string trqIni;  // the archive system's trq.ini
};

// The settings files both programs use: ./plq2trq.ini and trq.ini in the system
// configuration directory fixed at build time.
SettingsFiles DefaultSettingsFiles();

// Buffer sizes of the settings, terminating NUL included: a longer value is cut to one
// character less.
inline constexpr std::size_t kDataSourceCapacity = 32;
inline constexpr std::size_t kUserCapacity = 32;
inline constexpr std::size_t kPasswordCapacity = 16;
inline constexpr std::size_t kDataDirCapacity = 256;

// How long a converter waits for another converter of the same station to finish, in
// seconds, when [DATA] LOCKWAIT does not say.
inline constexpr int kDefaultStationLockWait = 300;

struct ConnectionSettings {
    std::string dataSource;                         // [DATABASE] ODBC
    std::string user;                               // [DATABASE] USER
    std::string password;                           // [DATABASE] PASSWORD
    std::string dataDir;                            // [DATA] DIR
    int stationLockWait = kDefaultStationLockWait;  // [DATA] LOCKWAIT, seconds
    int catalogTimeout = kDefaultCatalogTimeout;    // [DATABASE] TIMEOUT, seconds
};

// Looks up every setting:
//  - data source, user, password: the own ini's value; if it is missing or ends with a
//    backslash, trq.ini's; if that is missing or ends with a backslash too, "TRQ".
//  - data directory: the own ini's value; if it is missing or ends with a backslash,
//    trq.ini's with one trailing backslash removed (empty when neither file has it).
//  - station lock wait: [DATA] LOCKWAIT, a whole number of seconds (0 or more), from the
//    own ini, else trq.ini, else 300.
//  - catalog time-out: [DATABASE] TIMEOUT, a whole number of seconds (1 or more), looked up
//    alike, else 30.
// A key that is present with an empty value counts as set: the empty value is used.
// Values are cut to their buffer sizes without splitting a UTF-8 character.
ConnectionSettings ReadSettings(const platform::IniFile& ownIni, const platform::IniFile& trqIni);
// The same, reading both files.
ConnectionSettings ReadSettings(const SettingsFiles& files);

// The watch mode's settings (plq2trq --watch), section [WATCH] of either file, looked up
// like the others: whole seconds from 0 to 86400 (QUIET and SCAN at least 1), and a path.
inline constexpr int kDefaultQuietSeconds = 60;  // QUIET
inline constexpr int kDefaultScanSeconds = 600;  // SCAN
inline constexpr int kDefaultRetrySeconds = 30;  // RETRY
inline constexpr char kWatchStateFileName[] = ".plq2trq-watch.state";

struct WatchSettings {
    // A recording shorter than its header announces that has not changed for this long is
    // reported as incomplete.
    int quietSeconds = kDefaultQuietSeconds;
    // Every this often the whole tree is looked at, for what the kernel's events missed.
    int scanSeconds = kDefaultScanSeconds;
    // A recording the archive could not take, and a catalog that is away, are tried again
    // this often.
    int retrySeconds = kDefaultRetrySeconds;
    // The service's state file (STATE): by default .plq2trq-watch.state in the data
    // directory, where trq finds it from the same settings.
    std::string statePath;
};
WatchSettings ReadWatchSettings(const platform::IniFile& ownIni, const platform::IniFile& trqIni);
WatchSettings ReadWatchSettings(const SettingsFiles& files);
