#pragma once
// A station's directory below the data directory, and the files of our own that live in it
// beside the archive files. Archive file names start with a digit (the day of the month);
// our own names start with a dot, so that neither can be taken for the other.
//
//   .plq2trq.lock            the station's lock: one converter writes a station at a time
//   .plq2trq.journal         registrations the catalog could not take (RegistrationJournal.h)
//   .<archive file>.tmp      a new archive file until its first block is written whole
//   .plq2trq.journal.tmp     a journal being rewritten

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileLock.h"

inline constexpr char kStationLockFileName[] = ".plq2trq.lock";
inline constexpr char kJournalFileName[] = ".plq2trq.journal";

// The directory of `station` below `dataDir`; an empty data directory is the current one.
std::string StationDirectoryPath(const std::string& dataDir, const std::string& station);

// The name a new archive file has until its first block is in it.
std::string TemporaryFileName(std::string_view archiveFileName);
bool IsTemporaryFileName(std::string_view name);

// Makes the station directory if needed and takes the station's lock, waiting up to `wait`
// while another process holds it (`onWaiting` is called once when it starts waiting).
platform::FileLock LockStation(const std::string& dataDir, const std::string& station,
                               std::chrono::milliseconds wait,
                               const std::function<void()>& onWaiting = {});

// Removes temporary files that killed runs left in the station directory; call with the
// station's lock held. Returns the names removed; the names of those that could not be
// removed go to `notRemoved` when given.
std::vector<std::string> RemoveLeftoverTemporaryFiles(
    const std::string& stationDirectory, std::vector<std::string>* notRemoved = nullptr);
