#pragma once
// `trq export FILE... -o OUT.mseed`: archive files as miniSEED, Steim-2 where lossless,
// else float32 (ExportFormats.h: --encoding, --inventory, --sds DIR for SDS day files).
// `trq export --station S,... [--channel C,...] [--from T1] [--to T2] -o OUT.mseed`: the
// samples of a selection whose times fall in [T1, T2) (without them, from the first sample
// to the last), cut across file boundaries, one trace per continuous run of each station and
// channel, all into the one output, each starting at its first sample's time from TBEGIN.
// The selection is never implied: exporting every station takes --station '*'.

#include <ostream>
#include <string>
#include <vector>

#include "catalog/CatalogStore.h"
#include "trq/Command.h"
#include "trq/commands/ExportFormats.h"
#include "trq/commands/SelectionQuery.h"

namespace trq {

struct ExportOptions {
    std::vector<std::string> files;
    std::string output;
    std::string network = "XX";
    std::string location;
    int recordLength = 4096;
    ExportFormat format;  // encoding, inventory, SDS (ExportFormats.h)
    // Each file's start time is the TBEGIN of its FILELIST row (with the fraction of a second
    // the header lacks); without a catalog that can be opened, the header's whole second.
    // Used instead of `files` when it names a station.
    SelectionArguments selection;
};

int RunExport(const ExportOptions& options, std::ostream& out, std::ostream& err);

// Adds `export` with its options to the command line.
AddedCommand AddExportCommand(CLI::App& app);

}  // namespace trq
