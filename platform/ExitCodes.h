#pragma once
// Exit codes of a conversion run, in one place for every layer that decides one. The shell
// sees the low 8 bits: 255, 253 .. 243.

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
inline constexpr int kBadChannelName = -12;   // a channel name unusable in a file name
inline constexpr int kStationBusy = -13;      // another converter kept the station too long
}  // namespace ExitCode
