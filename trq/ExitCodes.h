#pragma once
// Exit codes of `trq` (inspect alone ends with the converter's codes instead).

namespace trq {

inline constexpr int kExitOk = 0;
// A file is not consistent, or the archive and the catalog differ.
inline constexpr int kExitFault = 1;
// The command line is wrong.
inline constexpr int kExitUsage = 2;
// The catalog could not be opened or read.
inline constexpr int kExitCatalog = 3;
// The output file could not be written.
inline constexpr int kExitOutput = 4;

}  // namespace trq
