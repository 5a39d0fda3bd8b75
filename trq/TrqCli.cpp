#include "trq/TrqCli.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "trq/CheckCommand.h"
#include "trq/ExitCodes.h"
#include "trq/ExportCommand.h"
#include "trq/InfoCommand.h"
#include "trq/InspectCommand.h"
#include "trq/PlotCommand.h"

namespace trq {

namespace {

void AddCatalogOptions(CLI::App& command, CatalogLogin& login) {
    command.add_option("--user", login.user, "User name for the data source");
    command.add_option("--password", login.password, "Password for the data source");
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
    plotCommand->add_option("FILE", plot.files, "Archive files")->required();
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
    exportCommand->add_option("FILE", exportOptions.files, "Archive files")->required();
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
    exportCommand->add_option("--dsn", exportOptions.login.dsn,
                              "Catalog data source: start times from TBEGIN, with its fraction");
    AddCatalogOptions(*exportCommand, exportOptions.login);

    CheckOptions check;
    CLI::App* checkCommand = app.add_subcommand(
        "check",
        "Compares the archive below DATADIR with the catalog's FILELIST rows; exits with 1 "
        "when they differ.");
    checkCommand->add_option("DATADIR", check.dataDir, "The archive's data directory")->required();
    checkCommand->add_option("--dsn", check.login.dsn, "Catalog data source")->required();
    AddCatalogOptions(*checkCommand, check.login);
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
    return RunCheck(check, std::cout, std::cerr);
}

}  // namespace trq
