#include "trq/commands/ExportFormats.h"

#include <CLI/CLI.hpp>

#include "catalog/WindowSamples.h"
#include "trq/ExitCodes.h"
#include "trq/commands/InventoryOption.h"
#include "trq/mseed/SdsWriter.h"

namespace trq {

void AddExportFormatOptions(CLI::App& command, ExportFormat& options) {
    command
        .add_option("--encoding", options.encoding,
                    "auto: Steim-2 for a trace whose every sample it carries exactly, else "
                    "float32; steim2 or float32 to force one")
        ->check(CLI::IsMember({"auto", "steim2", "float32"}))
        ->capture_default_str();
    AddInventoryOption(command, options.inventory);
    command.add_option("--sds", options.sds,
                       "Write SDS day files below this directory "
                       "(YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DOY) instead of -o");
}

std::string ExportFormatProblem(const ExportFormat& format, const std::string& output,
                                bool selection) {
    if (output.empty() == format.sds.empty()) {
        return output.empty() ? "give -o FILE or --sds DIR" : "give -o FILE or --sds DIR, not both";
    }
    if (!format.sds.empty() && !selection) {
        return "--sds writes a selection: give --station";
    }
    return "";
}

MiniSeedTrace ExportTrace(const ExportFormat& options, const std::string& network,
                          const std::string& location, const std::string& station,
                          const std::string& channel, double rate, int64_t start,
                          std::span<const float> samples) {
    MiniSeedTrace trace{network, station, location, channel, rate, start, samples};
    if (options.loadedInventory) {
        const SeedCodes codes = options.loadedInventory->CodesOf(station, channel, "");
        if (!codes.network.empty()) {
            trace.network = codes.network;
            trace.location = codes.location;
        }
    }
    const bool lossless = Steim2Carries(samples);
    if (options.encoding == "steim2" && !lossless) {
        throw std::runtime_error("--encoding steim2: Steim-2 cannot carry the samples of " +
                                 station + " " + channel +
                                 " exactly (not whole numbers, or steps beyond 30 bits)");
    }
    trace.encoding = options.encoding == "float32" || !lossless ? MiniSeedEncoding::kFloat32
                                                                : MiniSeedEncoding::kSteim2;
    return trace;
}

int ExportSelectionToSds(const ExportFormat& options, const std::string& network,
                         const std::string& location, int recordLength,
                         const SelectionOutcome& selection, std::ostream& out, std::ostream& err) {
    SdsWriter writer(options.sds, recordLength);
    try {
        for (const ContinuousSegment& segment : selection.segments) {
            if (CountWindowSamples(segment, selection.window) == 0) continue;
            WindowTrace trace;
            try {
                trace = ReadWindowSamples(selection.dataDir, segment, selection.window);
            } catch (const std::runtime_error& e) {
                err << "trq export: " << e.what() << "\n";
                return kExitFault;
            }
            writer.Write(ExportTrace(options, network, location, trace.station, trace.channel,
                                     trace.rate, trace.start, trace.samples));
        }
    } catch (const std::runtime_error& e) {
        err << "trq export: " << e.what() << "\n";
        return kExitOutput;
    }
    out << "trq export: wrote below " << options.sds << ": " << writer.Records() << " records, "
        << writer.Samples() << " samples into " << writer.Files() << " day files\n";
    return selection.skippedRows ? kExitFault : kExitOk;
}

}  // namespace trq
