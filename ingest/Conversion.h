#pragma once
// The conversion of one recording into the archive and its catalog, from the open of the
// recorder file to the final flush, on a catalog connection that is already open. The
// converter calls it once; a batch of recordings or a service may call it once per
// recording on the same connection and channel map. It never ends the process: every
// outcome, an unexpected error included, comes back as the result.
//
// Every line goes through the console sink (platform/Console.h): a caller that installs a
// sink of its own around the call shows, collects or silences one recording's lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/CatalogLogin.h"
#include "site/Settings.h"

class CDatabase;
struct ChannelMap;

// The converter's name: the creator (CREATER) of the rows it writes.
inline constexpr char kConverterName[] = "PLQ2TRQ";

// The login the converter uses with `settings`: UID and PWD always named.
CatalogLogin ConverterLogin(const ConnectionSettings& settings);

// Opens the catalog connection read-write as the converter needs it, letting the driver
// complete missing connection details. A cancelled completion and a database error both
// count as a failed open, and so do an SQLite data source whose database file or its
// directory does not exist (told before connecting, odbc/DataSourceFile.h) and a catalog
// without a readable table FILELIST (catalog/FileListCheck.h); the reason goes to the
// operator as the notice "cannot open the catalog <connect string>: <reason>".
bool OpenConverterCatalog(CDatabase& database, const CatalogLogin& login);

// The station name as stored (at most 31 bytes, never splitting a UTF-8 character) in
// `station`, with a notice when the argument was cut. Returns ExitCode::kBadStation, after
// its message, when the name cannot name a station directory; else 0.
int AcceptStationName(const char* argument, std::string& station);

struct ConversionResult {
    // The code the converter ends with (platform/ExitCodes.h): 0 when everything read
    // reached the archive and the catalog.
    int exitCode = 0;
    // Archive files (catalog paths, "STA\name"), each once: made anew, made anew in place of
    // one that was there, and extended without being made by this conversion.
    std::vector<std::string> created;
    std::vector<std::string> replaced;
    std::vector<std::string> extended;
    // Of `replaced`, the files that held other data (each told by a notice).
    std::vector<std::string> replacedOtherData;
    // Failures met: a block that could not be written, a registration that failed, the
    // station's journal of an earlier run that could not be made wholly, and the
    // registrations kept in journals for later.
    bool writeFailed = false;
    bool catalogFailed = false;
    bool journalLeft = false;
    std::size_t deferredRegistrations = 0;
    // Channels handed to the archive and their samples.
    std::size_t channels = 0;
    int64_t samples = 0;
};

// How the extensions of a file reach the catalog once the file is finished: every block's
// update (the converter's own way), or only the last one of each file (a batch: the same
// rows with fewer statements).
enum class ExtensionUpdates { kEveryBlock, kLastOfEachFile };

// Converts the recorder file `filePath` as station `station` (as AcceptStationName stored
// it) into the data directory of `settings`, registering the files on `database` (open, see
// OpenConverterCatalog), naming channels from `channelMap`.
ConversionResult ConvertRecording(const char* filePath, const std::string& station,
                                  const ConnectionSettings& settings, CDatabase& database,
                                  const ChannelMap& channelMap,
                                  ExtensionUpdates updates = ExtensionUpdates::kEveryBlock);

// Reports an error that nothing on the way handled (out of memory, a database error outside
// the registration) with one message and one notice; call it from inside a catch block.
// Returns ExitCode::kUnexpected. Rethrows what is neither a database error nor a
// std::exception.
int ReportUnexpectedFailure();
