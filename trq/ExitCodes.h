#pragma once
// Exit codes of `trq` (inspect alone ends with the converter's codes instead).

namespace trq {

inline constexpr int kExitOk = 0;
// A file is not consistent, or the archive and the catalog differ (a selection's rows whose
// files are missing or disagree with them are reported and left out).
inline constexpr int kExitFault = 1;
// The command line is wrong.
inline constexpr int kExitUsage = 2;
// The catalog could not be opened or read.
inline constexpr int kExitCatalog = 3;
// The output file could not be written.
inline constexpr int kExitOutput = 4;
// The catalog holds nothing for the selection: no row of the station and channels meets
// the window, or no sample falls into it. Not a failure: the answer is "nothing".
inline constexpr int kExitNothingFound = 5;
// The sample rate changes between two files that follow each other without a gap: their
// samples cannot be one trace.
inline constexpr int kExitRateChange = 6;
// `trq serve` cannot listen on the address it was given (in use, not this machine's, a
// privileged port).
inline constexpr int kExitListen = 7;
// `trq export --encoding steim2` met a trace whose samples Steim-2 cannot carry exactly (not
// whole numbers, or steps beyond its 30 bits): the trace is refused, not written as float32.
inline constexpr int kExitSteim2Refused = 8;
// `trq check --verify` found an archive file that no longer matches the checksum recorded
// when it was written: changed, cut short, extended or missing.
inline constexpr int kExitDamage = 9;

}  // namespace trq
