#include "trq/TrqCli.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "trq/AvailCommand.h"
#include "trq/CheckCommand.h"
#include "trq/ExitCodes.h"
#include "trq/ExportCommand.h"
#include "trq/InfoCommand.h"
#include "trq/InspectCommand.h"
#include "trq/ListCommand.h"
#include "trq/PlotCommand.h"
#include "trq/ServeCommand.h"

namespace trq {

namespace {

enum class SelectionUse { kOnly, kInsteadOfFiles };

// --station, --channel, --from, --to; with kOnly the command has no other way to name its
// data, so station and start are required.
void AddSelectionOptions(CLI::App& command, SelectionArguments& selection, SelectionUse use) {
    CLI::Option* station =
        command.add_option("--station", selection.station, "Station of the selection (STA)");
    command.add_option("--channel", selection.channel, "Channels, with * and ? wildcards")
        ->capture_default_str();
    CLI::Option* from = command.add_option(
        "--from", selection.from, "Window start, ISO 8601 UTC, e.g. 2013-10-22T13:00:00.25Z");
    command.add_option("--to", selection.to,
                       "Window end (not included), ISO 8601 UTC; default: the last sample");
    if (use == SelectionUse::kOnly) {
        station->required();
        from->required();
    } else {
        station->needs(from);
        from->needs(station);
    }
}

// The catalog of a selection, found like the converter finds it unless given here.
void AddSelectionCatalogOptions(CLI::App& command, SelectionArguments& selection) {
    AddCatalogArguments(command, selection.catalog);
}

void AddDataDirOption(CLI::App& command, SelectionArguments& selection) {
    command.add_option("--data-dir", selection.catalog.dataDir,
                       "Archive data directory of a selection (default: [DATA] DIR of the ini "
                       "files)");
}

CLI::App* AddListCommand(CLI::App& app, ListOptions& list) {
    CLI::App* command = app.add_subcommand(
        "list",
        "The catalog's rows of a station's channels that meet a time window, in time order: "
        "path, station, channel, begin, end, samples, rate. Exits with 5 when there are none.");
    AddSelectionOptions(*command, list.selection, SelectionUse::kOnly);
    AddSelectionCatalogOptions(*command, list.selection);
    command->add_flag("--json", list.json, "One JSON document on standard output");
    return command;
}

CLI::App* AddAvailCommand(CLI::App& app, AvailOptions& avail) {
    CLI::App* command = app.add_subcommand(
        "avail",
        "Per station and channel the continuous spans, gaps and overlaps within a time "
        "window and its coverage, from the catalog alone. Exits with 5 when there is nothing.");
    AddSelectionOptions(*command, avail.selection, SelectionUse::kOnly);
    AddSelectionCatalogOptions(*command, avail.selection);
    command->add_flag("--json", avail.json, "One JSON document on standard output");
    command->add_option("--plot", avail.plot, "Also draw the availability as this PNG");
    command->add_option("--width", avail.width, "Width of the picture in pixels")
        ->check(CLI::Range(400, 20000))
        ->capture_default_str();
    return command;
}

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& serve) {
    CLI::App* command = app.add_subcommand(
        "serve",
        "FDSN web services over the archive: fdsnws-dataselect (miniSEED) and "
        "fdsnws-availability, read-only, until SIGINT or SIGTERM. The catalog and the data "
        "directory are found as the converter finds them unless given. Exits with 7 when "
        "the address cannot be bound.");
    command->add_option("--listen", serve.listen, "HOST:PORT to listen on (port 0: any free port)")
        ->capture_default_str();
    command->add_option("--network", serve.network, "Network code of every stream (1-2 characters)")
        ->capture_default_str();
    command->add_option("--threads", serve.threads, "Requests handled at once")
        ->capture_default_str();
    command
        ->add_option("--max-seconds", serve.maxSeconds,
                     "Most seconds of data one dataselect request may ask for, over all its "
                     "channels; more is refused with 413")
        ->capture_default_str();
    command
        ->add_option("--max-samples", serve.maxSamples,
                     "Most samples one dataselect request may ask for (0: no limit by count)")
        ->capture_default_str();
    AddCatalogArguments(*command, serve.catalog);
    command->add_option("--data-dir", serve.catalog.dataDir,
                        "Archive data directory (default: [DATA] DIR of the ini files)");
    return command;
}

}  // namespace

int RunTrqCommandLine(int argc, char** argv) {
    CLI::App app{"trq: looks at, checks, repairs and exports the TRQ archive that plq2trq writes.",
                 "trq"};
    app.require_subcommand(1);

    InspectOptions inspect;
    CLI::App* inspectCommand = app.add_subcommand(
        "inspect",
        "Dry run for recorder files: the header as the converter reads it, the key and length "
        "tests, and per channel the sample statistics. Nothing is written. Exits with the "
        "converter's exit code for the first broken file, 0 when all are good.");
    inspectCommand->add_option("RECORDER", inspect.files, "PLQ recorder files")->required();
    inspectCommand->add_flag("--json", inspect.json, "One JSON document on standard output");

    InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand(
        "info",
        "Header fields, sample count, time span and sample statistics of archive files. "
        "Exits with 1 when a file is not consistent.");
    infoCommand->add_option("FILE", info.files, "Archive files")->required();
    infoCommand->add_flag("--json", info.json, "One JSON document on standard output");

    PlotOptions plot;
    CLI::App* plotCommand =
        app.add_subcommand("plot", "Quick-look PNG: traces stacked over a shared UTC time axis.");
    CLI::Option* plotFiles = plotCommand->add_option("FILE", plot.files, "Archive files");
    AddSelectionOptions(*plotCommand, plot.selection, SelectionUse::kInsteadOfFiles);
    AddSelectionCatalogOptions(*plotCommand, plot.selection);
    AddDataDirOption(*plotCommand, plot.selection);
    plotFiles->excludes("--station");
    plotCommand->add_option("-o,--output", plot.output, "PNG file to write")->required();
    plotCommand->add_option("--width", plot.width, "Width of the picture in pixels")
        ->check(CLI::Range(400, 20000))
        ->capture_default_str();
    plotCommand->add_option("--trace-height", plot.traceHeight, "Height of each trace in pixels")
        ->check(CLI::Range(40, 2000))
        ->capture_default_str();
    plotCommand->add_flag("--separate", plot.separate,
                          "One trace per file (default: one per station and channel)");

    ExportOptions exportOptions;
    CLI::App* exportCommand = app.add_subcommand(
        "export", "Writes archive files as miniSEED records with float32 samples.");
    CLI::Option* exportFiles =
        exportCommand->add_option("FILE", exportOptions.files, "Archive files");
    AddSelectionOptions(*exportCommand, exportOptions.selection, SelectionUse::kInsteadOfFiles);
    AddSelectionCatalogOptions(*exportCommand, exportOptions.selection);
    AddDataDirOption(*exportCommand, exportOptions.selection);
    exportFiles->excludes("--station");
    exportCommand->add_option("-o,--output", exportOptions.output, "miniSEED file to write")
        ->required();
    exportCommand->add_option("--network", exportOptions.network, "Network code (1-2 characters)")
        ->capture_default_str();
    exportCommand->add_option("--location", exportOptions.location,
                              "Location code (0-2 characters)");
    exportCommand
        ->add_option("--record-length", exportOptions.recordLength,
                     "Record length in bytes, a power of two from 256 to 65536")
        ->capture_default_str();

    ListOptions list;
    CLI::App* listCommand = AddListCommand(app, list);
    AvailOptions avail;
    CLI::App* availCommand = AddAvailCommand(app, avail);

    ServeOptions serve;
    CLI::App* serveCommand = AddServeCommand(app, serve);

    CheckOptions check;
    CLI::App* checkCommand = app.add_subcommand(
        "check",
        "Compares the archive below DATADIR with the catalog's FILELIST rows; exits with 1 "
        "when they differ. The catalog and DATADIR are found as the converter finds them "
        "unless given.");
    checkCommand->add_option("DATADIR", check.catalog.dataDir,
                             "The archive's data directory (default: [DATA] DIR)");
    AddCatalogArguments(*checkCommand, check.catalog);
    checkCommand->add_flag("--repair", check.repair,
                           "Rewrite the rows from the files through the converter's "
                           "registration");
    checkCommand->add_option("--creator", check.creator,
                             "CREATER of rows that --repair adds (default PLQ2TRQ)");
    checkCommand->add_flag("--json", check.json, "One JSON document on standard output");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    if (*inspectCommand) return RunInspect(inspect, std::cout, std::cerr);
    if (*infoCommand) return RunInfo(info, std::cout, std::cerr);
    if (*plotCommand) return RunPlot(plot, std::cout, std::cerr);
    if (*exportCommand) return RunExport(exportOptions, std::cout, std::cerr);
    if (*listCommand) return RunList(list, std::cout, std::cerr);
    if (*availCommand) return RunAvail(avail, std::cout, std::cerr);
    if (*serveCommand) return RunServe(serve, std::cerr);
    return RunCheck(check, std::cout, std::cerr);
}

}  // namespace trq
