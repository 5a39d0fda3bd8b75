#pragma once
// The record of one recording's conversion, as the catalog keeps it (tables RECORDINGS and
// RECORDINGFILES, catalog/RecordingRows.h) and as a station's journal keeps it while the
// catalog cannot take it: which file it was (its path, size, modification time and content
// hash), its station, when and how its conversion ended, and the archive files it made.

#include <cstdint>
#include <string>
#include <vector>

enum class RecordOutcome {
    kConverted,   // exit code 0
    kJournaled,   // -9: the archive files are whole, some rows waited in the journal
    kFailed,      // any other exit code: the recording is not (wholly) in the archive
    kIncomplete,  // not converted: shorter than its header announces and no longer written
};

// "converted", "journaled", "failed", "incomplete": the OUTCOME column's words.
const char* RecordOutcomeName(RecordOutcome outcome);
// The outcome a word names; false for a word that is none of them.
bool ParseRecordOutcome(const std::string& word, RecordOutcome& outcome);
// The outcome of a conversion that ended with `exitCode`.
RecordOutcome OutcomeOfExitCode(int exitCode);

// What an archive file owes to a recording: it was made anew (no file was there), made anew
// in place of one that was there, or had samples appended.
enum class FileAction { kCreated, kReplaced, kExtended };
const char* FileActionName(FileAction action);  // "created", "replaced", "extended"
bool ParseFileAction(const std::string& word, FileAction& action);

struct RecordingRecord {
    std::string path;      // absolute, without "." or ".." steps
    std::string station;   // as stored in the archive
    int64_t size = 0;      // bytes
    double modified = 0;   // the file's modification time, seconds since 1970 (UTC)
    std::string hash;      // SHA-256 of its bytes, 64 hex digits
    double converted = 0;  // when its conversion ended, seconds since 1970 (UTC)
    RecordOutcome outcome = RecordOutcome::kConverted;
    int exitCode = 0;    // what `plq2trq FILE STATION` would have ended with
    std::string reason;  // the first line that said why it failed; empty when converted
    // The archive files (catalog paths, "STA\name") it created, replaced and extended.
    std::vector<std::string> created;
    std::vector<std::string> replaced;
    std::vector<std::string> extended;
};
