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

#include "archive/RecordingRecord.h"
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

// What identifies a recording's file in its record, read before it is converted: its
// absolute path (without "." or ".." steps), size, modification time and content hash.
struct RecordingIdentity {
    std::string path;
    int64_t size = 0;
    double modified = 0;  // seconds since 1970 (UTC)
    std::string hash;     // SHA-256, hex; empty when the file cannot be read
};
RecordingIdentity IdentifyRecording(const std::string& path);

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
    // The record of this conversion, and whether it reached the catalog or the station's
    // journal (false: the catalog was away before the station was locked, and the caller
    // may write it later with WriteRecordingRows).
    RecordingRecord record;
    bool recordKept = false;
    // The catalog was given up during the conversion (it did not answer within the time-out,
    // or stayed locked), or before it (ConversionOptions::catalogAway).
    bool catalogAway = false;
};

// How the extensions of a file reach the catalog once the file is finished: every block's
// update (the converter's own way), or only the last one of each file (a batch: the same
// rows with fewer statements).
enum class ExtensionUpdates { kEveryBlock, kLastOfEachFile };

struct ConversionOptions {
    ExtensionUpdates updates = ExtensionUpdates::kEveryBlock;
    // The catalog is known to be away: every registration and the record go to the station's
    // journal at once, without waiting for it.
    bool catalogAway = false;
    // The recording's identity when the caller read it already; else it is read first.
    const RecordingIdentity* identity = nullptr;
};

// Converts the recorder file `filePath` as station `station` (as AcceptStationName stored
// it) into the data directory of `settings`, registering the files on `database` (open, see
// OpenConverterCatalog), naming channels from `channelMap`. Then keeps the conversion's
// record (archive/RecordingRecord.h) in the catalog, or, when the catalog cannot take it and
// the station was written, in the station's journal.
ConversionResult ConvertRecording(const char* filePath, const std::string& station,
                                  const ConnectionSettings& settings, CDatabase& database,
                                  const ChannelMap& channelMap, const ConversionOptions& options);
ConversionResult ConvertRecording(const char* filePath, const std::string& station,
                                  const ConnectionSettings& settings, CDatabase& database,
                                  const ChannelMap& channelMap,
                                  ExtensionUpdates updates = ExtensionUpdates::kEveryBlock);

// Writes a record made outside a conversion (a recording found incomplete, one whose record
// waited while the catalog was away) on `database`, as a conversion writes its own. True
// when the catalog took it (or cannot keep records and said so).
bool WriteRecordingRecord(const RecordingRecord& record, const ConnectionSettings& settings,
                          CDatabase& database);

// What applying a station's journal did.
struct JournalApplication {
    std::size_t applied = 0;    // registrations and records made
    std::size_t remaining = 0;  // left in the journal
    bool busy = false;          // another converter held the station
    bool catalogAway = false;   // the catalog was given up on the way
};
// Makes what the station's journal keeps (the registrations and records the catalog could
// not take), under the station's lock, on `database`: what a conversion of the station does
// first, for a station with nothing to convert.
JournalApplication ApplyStationJournal(const std::string& station,
                                       const ConnectionSettings& settings, CDatabase& database);

// Reports an error that nothing on the way handled (out of memory, a database error outside
// the registration) with one message and one notice; call it from inside a catch block.
// Returns ExitCode::kUnexpected. Rethrows what is neither a database error nor a
// std::exception.
int ReportUnexpectedFailure();
