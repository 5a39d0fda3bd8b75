#pragma once
// The record of recordings in the catalog (catalog/recordings.sql): table RECORDINGS, one
// row per recording (a path with its content), and RECORDINGFILES, one row per archive file
// each made. Written by every form of the converter after each recording, read by the watch
// mode (what is new or changed) and the toolkit (which recordings an archive file holds).
// A catalog set up before the tables existed lacks them (TableMissing).

#include <string>
#include <vector>

#include "archive/RecordingRecord.h"

class CDatabase;
class CDBException;

// Writes `record` in one transaction, in place of the rows of the same path and content
// and of the rows of the same path that made no archive file (attempts that it supersedes).
// Reasons are cut to 1000 bytes. Throws CDBException.
void WriteRecordingRows(CDatabase& database, const RecordingRecord& record);

// Sets the size and modification time of the record of `path` with content `hash`: the
// file was written again with the same bytes. Throws CDBException.
void UpdateRecordedFileTime(CDatabase& database, const std::string& path, const std::string& hash,
                            int64_t size, double modified);

// The records of the recordings whose paths begin with `prefix`, without their archive
// files; in no particular order. Throws CDBException.
std::vector<RecordingRecord> ReadRecordings(CDatabase& database, const std::string& prefix);

// The record of each station's last recording (the latest CONVERTED), without archive files.
// Throws CDBException.
std::vector<RecordingRecord> LatestRecordingPerStation(CDatabase& database);

// One recording's part in an archive file.
struct RecordingSource {
    RecordingRecord recording;  // without its archive files
    FileAction action = FileAction::kCreated;
};
// Every recording that made or extended the archive file `catalogPath` ("STA\name"), in the
// order their conversions ended. Throws CDBException.
std::vector<RecordingSource> ArchiveFileHistory(CDatabase& database,
                                                const std::string& catalogPath);
// Of a file's history, the recordings whose samples it holds now: the last one that created
// or replaced it (it made the file's content), then those that extended it afterwards. The
// first of them is the recording that made the file.
std::vector<RecordingSource> RecordingsHolding(const std::vector<RecordingSource>& history);
// RecordingsHolding of the file's history read from the catalog. Throws CDBException.
std::vector<RecordingSource> RecordingsOfArchiveFile(CDatabase& database,
                                                     const std::string& catalogPath);

// True when the error says the record's tables are missing (a catalog set up by an older
// catalog-setup.sh).
bool IsRecordTableMissing(const CDBException& error);
// Whether the catalog has the record's tables; throws CDBException for any other failure
// (a lost connection).
bool HasRecordTables(CDatabase& database);
