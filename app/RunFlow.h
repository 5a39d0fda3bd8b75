#pragma once
// The order of one conversion run: arguments, settings, connection, recorder file,
// channel loop, final flush, exit code.

#include <string>

#include "app/Settings.h"

class CDatabase;
struct ChannelMap;

// The settings files the converter uses: ./plq2trq.ini and trq.ini in the build-time
// system configuration directory.
SettingsFiles DefaultSettingsFiles();

// Exit codes of a run. The shell sees the low 8 bits: 255, 253 .. 246.
namespace ExitCode {
inline constexpr int kConverted = 0;
inline constexpr int kUsage = -1;             // fewer than two arguments
inline constexpr int kDatabase = -3;          // the catalog connection could not be opened
inline constexpr int kOpenFile = -4;          // the recorder file could not be opened
inline constexpr int kReadFile = -5;          // short header, or size does not match it
inline constexpr int kNotPlq = -6;            // no format key in the header's system name
inline constexpr int kBadStation = -7;        // station name unusable as a directory name
inline constexpr int kArchiveWrite = -8;      // a block could not be written to the archive
inline constexpr int kCatalog = -9;           // an archive file could not be registered
inline constexpr int kUnexpected = -10;       // any other error raised during the run
inline constexpr int kSameChannelName = -11;  // two channels would share one archive name
}  // namespace ExitCode

// Runs one conversion with the program-wide connection and channel map; returns the
// process exit code (see ExitCode).
int RunConverter(int argc, char** argv, CDatabase& database, ChannelMap& channelMap,
                 const SettingsFiles& files);
