#include "batch/BatchOptions.h"

#include <CLI/CLI.hpp>
#include <thread>

#include "platform/ExitCodes.h"

int ParseBatchOptions(int argc, char** argv, BatchOptions& options) {
    CLI::App app{
        "Converts many PLQ recordings into the TRQ archive in one run "
        "(plq2trq --station STA FILE... or plq2trq --tree DIR; one recording: plq2trq FILE "
        "STATION).",
        "plq2trq"};
    auto* station = app.add_option("--station", options.station,
                                   "the station of every FILE (converted in time order)");
    app.add_option("files", options.files, "recorder files of the station")->needs(station);
    auto* tree =
        app.add_option("--tree", options.tree, "every recording below DIR/STA/ (STA the station)")
            ->check(CLI::ExistingDirectory);
    station->excludes(tree);
    app.add_option("--jobs,-j", options.jobs, "stations converted side by side (default: cores)")
        ->check(CLI::PositiveNumber);
    app.add_flag("--quiet,-q", options.quiet, "no progress on standard error");
    app.add_option("--report", options.report, "write a JSON report of every recording to FILE");
    app.add_flag("--dry-run", options.dryRun,
                 "tell per recording what would be created or replaced; write nothing");
    try {
        app.parse(argc, argv);
        if (station->count() == 0 && tree->count() == 0)
            throw CLI::RequiredError("--station STA FILE... or --tree DIR");
        if (station->count() > 0 && options.files.empty())
            throw CLI::RequiredError("FILE (at least one recording after --station)");
    } catch (const CLI::CallForHelp& help) {
        app.exit(help);
        return 1;
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return ExitCode::kUsage;
    }
    if (options.jobs == 0) options.jobs = std::max(1u, std::thread::hardware_concurrency());
    return 0;
}
