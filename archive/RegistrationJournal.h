#pragma once
// The journal of a station: registrations the catalog could not take, kept with their
// exact values (the start time to the full double, which no archive file header holds) so
// that they can be made later, in order, by the next conversion of the station or by
// `trq check --repair`. It lies in the station directory (see StationDirectory.h) and is
// only written or replayed under the station's lock.
//
// Format: text, one registration per line, fields separated by tabs:
//   kind  path  station  channel  start  duration  rate  gain  dataType  creator
// and, for the registration that finishes a file, its checksum (FileChecksum.h):
//   ...  creator  length  algorithm  fileHash  blockHashes
// kind is "new" or "update"; numbers are written with 17 significant digits, so they read
// back bit for bit; in texts, bytes below 0x20 and '%' are written as %XX; the block hashes
// stand one after the other. A line without its final newline (a run killed while writing
// it) is not a registration.
//
// The record of a recording whose conversion wrote into the station (RecordingRecord.h)
// waits here too, in the order it came, as a line of kind "recording":
//   recording  path  station  size  modified  hash  converted  outcome  exitCode  reason
//   [action:file ...]
// with one field per archive file, its action ("created", "replaced", "extended") before it.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/CatalogRegistrar.h"
#include "archive/RecordingRecord.h"

struct JournalEntry {
    RegistrationKind kind = RegistrationKind::kNewFile;
    FileRegistration file;
    std::string creator;
    // Set for a recording's record, which takes the place of the registration above.
    std::optional<RecordingRecord> recording;
};

// The line of `entry`, newline included.
std::string JournalLine(const JournalEntry& entry);

// Appends `entry` to the journal at `path` (created when missing) with one write. Returns
// an empty text on success, else the reason ("open PATH: No space left on device").
std::string AppendToJournal(const std::string& path, const JournalEntry& entry);

struct JournalContents {
    std::vector<JournalEntry> entries;
    std::vector<std::string> unreadable;  // lines that are not registrations, as they stand
    std::string error;                    // why the file could not be read; empty when it was
};
// The entries of the journal at `path`; a missing journal has none.
JournalContents ReadJournal(const std::string& path);

struct JournalReplay {
    std::size_t applied = 0;
    std::size_t failed = 0;      // refused by a usable catalog; kept in the journal
    std::size_t remaining = 0;   // left in the journal: failed, not tried or unreadable
    std::size_t unreadable = 0;  // lines that are not registrations (left in it too)
    bool catalogUnavailable = false;
    std::string error;  // why the journal could not be read or rewritten; empty when fine
};
// Makes the journal's registrations in order through `registerEntry`. Stops at the first one
// that finds the catalog unavailable. Registrations not made, and unreadable lines (which a
// person may still make sense of), stay in the journal; it is removed once none is left.
using JournalRegistration = std::function<RegistrationOutcome(const JournalEntry& entry)>;
JournalReplay ReplayJournal(const std::string& path, const JournalRegistration& registerEntry);
