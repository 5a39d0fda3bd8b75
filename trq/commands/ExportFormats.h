#pragma once
// What `trq export` writes besides a plain float32 file: the inventory's network and
// location codes, Steim-2 where it is lossless (--encoding), and SDS day files (--sds).

#include <ostream>
#include <span>
#include <string>

#include "trq/commands/ExportCommand.h"
#include "trq/commands/SelectionQuery.h"
#include "trq/mseed/MiniSeedPacker.h"

namespace trq {

// Adds --encoding, --inventory and --sds.
void AddExportFormatOptions(CLI::App& command, ExportOptions& options);

// Why the format options cannot be used, or "".
std::string ExportFormatProblem(const ExportOptions& options);

// The trace as `options` write it: the inventory's codes for a stream it lists (else
// --network and --location), and the encoding --encoding asks for ("auto": Steim-2 when it
// carries every sample exactly, else float32). Throws std::runtime_error when Steim-2 is
// asked for samples it cannot carry.
MiniSeedTrace ExportTrace(const ExportOptions& options, const std::string& station,
                          const std::string& channel, double rate, int64_t start,
                          std::span<const float> samples);

// Writes the selection's runs into SDS day files below options.sds.
int ExportSelectionToSds(const ExportOptions& options, const SelectionOutcome& selection,
                         std::ostream& out, std::ostream& err);

}  // namespace trq
