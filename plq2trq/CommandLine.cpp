#include "plq2trq/CommandLine.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "batch/BatchOptions.h"
#include "ingest/Conversion.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "watch/WatchOptions.h"

namespace {

// A station argument that names an existing file is what a shell pattern gives
// (plq2trq *.plq ABC): the second recording would be taken for a station. A directory of
// that name is no sign of it: with no data directory set, the stations live right here.
bool NamesExistingFile(const char* argument) {
    std::error_code error;
    const auto status = std::filesystem::status(argument, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace

bool IsBatchCommandLine(int argc, char** argv) {
    return argc > 1 && std::string_view(argv[1]).starts_with("--");
}

int CheckClassicArguments(int argc, char** argv) {
    if (argc < 3) {
        ConsoleMessage("USAGE: %s file_name station_name", kConverterName);
        ConsoleNotice("%s", argc < 2 ? "no recorder file and no station name given"
                                     : "no station name given");
        return ExitCode::kUsage;
    }
    if (NamesExistingFile(argv[2])) {
        ConsoleMessage("USAGE: %s file_name station_name", kConverterName);
        ConsoleNotice(
            "the station name %s is an existing file: plq2trq FILE STATION converts one "
            "recording; to convert several, use plq2trq --station STATION FILE...",
            argv[2]);
        return ExitCode::kUsage;
    }
    std::string ignored;
    for (int i = 3; i < argc; ++i) ignored += std::string(" ") + argv[i];
    if (!ignored.empty())
        ConsoleNotice("ignored the arguments after the station name:%s", ignored.c_str());
    return 0;
}

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
    return 0;
}

bool IsWatchCommandLine(int argc, char** argv) {
    if (!IsBatchCommandLine(argc, argv)) return false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--watch" || argument.starts_with("--watch=")) return true;
    }
    return false;
}

int ParseWatchOptions(int argc, char** argv, WatchOptions& options) {
    CLI::App app{
        "Watches DIR and converts every recording below DIR/STA/ (STA the station) that the "
        "catalog's record does not hold, then each one that arrives, until SIGTERM or SIGINT; "
        "SIGHUP reads the settings again. One log line per recording on standard output.",
        "plq2trq"};
    app.add_option("--watch", options.tree, "the incoming directory: DIR/STA/... recordings")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_option("--jobs,-j", options.jobs, "stations converted side by side (default: cores)")
        ->check(CLI::PositiveNumber);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        app.exit(help);
        return 1;
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return ExitCode::kUsage;
    }
    return 0;
}
