#pragma once
// What `trq export` writes besides a plain float32 file: the inventory's network and
// location codes, Steim-2 where it is lossless (--encoding), and SDS day files (--sds).

#include <memory>
#include <span>
#include <string>

#include "trq/inventory/StationInventory.h"
#include "trq/mseed/MiniSeedPacker.h"
#include "trq/mseed/TraceWriter.h"

namespace CLI {
class App;
}

namespace trq {

struct ExportFormat {
    std::string encoding = "auto";  // one of kEncodingChoices (trq/mseed/EncodingChoice.h)
    std::string inventory;          // StationXML; empty: [FDSN] INVENTORY of the ini files
    std::string sds;                // SDS root to write instead of -o
    std::shared_ptr<const StationInventory> loadedInventory;  // read by LoadInventory
};

// Adds --encoding, --inventory and --sds.
void AddExportFormatOptions(CLI::App& command, ExportFormat& format);

// Why the format options cannot be used with `output` (-o), with or without a selection
// (--station), or "".
std::string ExportFormatProblem(const ExportFormat& format, const std::string& output,
                                bool selection);

// The writer of the export: SDS day files below format.sds, else standard output for
// `output` "-", else the file `output`. Throws std::runtime_error when the file cannot be
// made.
std::unique_ptr<TraceWriter> OpenExportWriter(const ExportFormat& format, const std::string& output,
                                              int recordLength);

// The trace as `format` writes it: the inventory's codes for a stream it lists (else
// `network` and `location`), and the encoding --encoding gives it (ChooseEncoding). Throws
// Steim2Refusal.
MiniSeedTrace ExportTrace(const ExportFormat& format, const std::string& network,
                          const std::string& location, const std::string& station,
                          const std::string& channel, double rate, int64_t start,
                          std::span<const float> samples);

}  // namespace trq
