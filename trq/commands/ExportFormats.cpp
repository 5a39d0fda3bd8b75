#include "trq/commands/ExportFormats.h"

#include <CLI/CLI.hpp>

#include "trq/commands/EncodingOption.h"
#include "trq/commands/InventoryOption.h"
#include "trq/mseed/EncodingChoice.h"
#include "trq/mseed/MiniSeedWriter.h"
#include "trq/mseed/SdsWriter.h"

namespace trq {

void AddExportFormatOptions(CLI::App& command, ExportFormat& options) {
    AddEncodingOption(command, options.encoding);
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

std::unique_ptr<TraceWriter> OpenExportWriter(const ExportFormat& format, const std::string& output,
                                              int recordLength) {
    if (!format.sds.empty()) return std::make_unique<SdsWriter>(format.sds, recordLength);
    if (output == kStandardOutputName) return std::make_unique<StandardOutputWriter>(recordLength);
    return std::make_unique<MiniSeedFileWriter>(output, recordLength);
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
    trace.encoding = ChooseEncoding(
        options.encoding, [samples] { return Steim2Carries(samples); }, station, channel);
    return trace;
}

}  // namespace trq
