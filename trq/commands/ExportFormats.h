#pragma once
// What `trq export` writes besides a plain float32 file: the inventory's network and
// location codes, Steim-2 where it is lossless (--encoding), and SDS day files (--sds).

#include <memory>
#include <ostream>
#include <span>
#include <string>

#include "trq/commands/SelectionQuery.h"
#include "trq/inventory/StationInventory.h"
#include "trq/mseed/MiniSeedPacker.h"

namespace CLI {
class App;
}

namespace trq {

struct ExportFormat {
    std::string encoding = "auto";  // auto, steim2 or float32
    std::string inventory;          // StationXML; empty: [FDSN] INVENTORY of the ini files
    std::string sds;                // SDS root to write instead of -o
    std::shared_ptr<const StationInventory> loadedInventory;  // read by LoadExportInventory
};

// Adds --encoding, --inventory and --sds.
void AddExportFormatOptions(CLI::App& command, ExportFormat& format);

// Why the format options cannot be used with `output` (-o), with or without a selection
// (--station), or "".
std::string ExportFormatProblem(const ExportFormat& format, const std::string& output,
                                bool selection);

// The trace as `format` writes it: the inventory's codes for a stream it lists (else
// `network` and `location`), and the encoding --encoding asks for ("auto": Steim-2 when it
// carries every sample exactly, else float32). Throws std::runtime_error when Steim-2 is
// asked for samples it cannot carry.
MiniSeedTrace ExportTrace(const ExportFormat& format, const std::string& network,
                          const std::string& location, const std::string& station,
                          const std::string& channel, double rate, int64_t start,
                          std::span<const float> samples);

// Writes the selection's runs into SDS day files below format.sds.
int ExportSelectionToSds(const ExportFormat& format, const std::string& network,
                         const std::string& location, int recordLength,
                         const SelectionOutcome& selection, std::ostream& out, std::ostream& err);

}  // namespace trq
