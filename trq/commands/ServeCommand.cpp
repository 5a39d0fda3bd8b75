#include "trq/commands/ServeCommand.h"

#include <signal.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>
#include <memory>

#include "archive/StreamCodes.h"
#include "platform/StopOnSignal.h"
#include "trq/ExitCodes.h"
#include "trq/commands/EncodingOption.h"
#include "trq/commands/InventoryOption.h"
#include "trq/fdsn/FdsnServer.h"
#include "trq/fdsn/RecordedWatchStatus.h"
#include "trq/plot/PlotRenderer.h"

namespace trq {

namespace {

std::string OptionProblem(const ServeOptions& options) {
    if (auto problem = SeedCodeProblem(options.network, 1, 2); !problem.empty()) {
        return "--network " + problem;
    }
    if (options.threads < 1 || options.threads > 256) return "--threads must lie from 1 to 256";
    if (!(options.maxSeconds > 0)) return "--max-seconds must be above 0";
    if (options.maxSamples < 0) return "--max-samples must not be negative";
    if (!(options.lateSeconds > 0) || !(options.silentSeconds > options.lateSeconds)) {
        return "--late-after must be above 0 and --silent-after above it";
    }
    return "";
}

// Says at once whether the catalog answers; the server serves either way (a catalog that
// is down gets 500 answers until it is back), but a wrong setting should not wait for the
// first request to show.
void ProbeCatalog(const CatalogLogin& login, std::ostream& err) {
    try {
        CatalogStore catalog(login, CatalogStore::Use::kReadOnly);
    } catch (const CatalogError& e) {
        err << "trq serve: warning: catalog " << login.dsn << ": " << e.what()
            << "; answering 500 until it can be read\n";
    }
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string portText = text.substr(colon + 1);
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    return !host.empty() && error == std::errc() && end == portText.data() + portText.size() &&
           port >= 0 && port <= 65535;
}

int RunServe(const ServeOptions& options, std::ostream& err) {
    std::string host;
    int port = 0;
    if (!ParseListenAddress(options.listen, host, port)) {
        err << "trq serve: --listen \"" << options.listen << "\" is not HOST:PORT\n";
        return kExitUsage;
    }
    if (auto problem = OptionProblem(options); !problem.empty()) {
        err << "trq serve: " << problem << "\n";
        return kExitUsage;
    }
    FoundCatalog found;
    try {
        found = FindCatalog(options.catalog);
    } catch (const SettingsError& e) {
        err << "trq serve: " << e.what() << "\n";
        return kExitUsage;
    }
    std::shared_ptr<const StationInventory> inventory;
    try {
        inventory = LoadInventory(options.inventory);
    } catch (const InventoryError& e) {
        err << "trq serve: " << e.what() << "\n";
        return kExitUsage;
    }
    ::signal(SIGPIPE, SIG_IGN);  // a client that goes away is a failed write, not our end
    ServeSettings settings{
        .network = options.network,
        .dataDir = found.dataDir,
        .maxSeconds = options.maxSeconds,
        .maxSamples = options.maxSamples,
        .encoding = options.encoding,
        .inventory = inventory,
        .lateSeconds = options.lateSeconds,
        .silentSeconds = options.silentSeconds,
        .watch = std::make_shared<RecordedWatchStatus>(found.dataDir, options.watchState)};
    FdsnServer server(settings, found.login, static_cast<std::size_t>(options.threads));
    // SIGINT and SIGTERM stop the server; the requests under way finish.
    platform::StopOnSignal stopOnSignal([&server] { server.Stop(); });
    const int bound = server.Bind(host, port);
    if (bound < 0) {
        err << "trq serve: cannot listen on " << options.listen << "\n";
        return kExitListen;
    }
    ProbeCatalog(found.login, err);
    err << "trq serve: listening on http://"
        << (host.find(':') != std::string::npos ? "[" + host + "]" : host) << ":" << bound
        << "/ (catalog " << found.login.dsn << ", data directory "
        << (found.dataDir.empty() ? "." : found.dataDir) << ", network " << options.network << ", "
        << options.threads << " threads)" << std::endl;
    const bool served = server.Run();
    ReleaseFontCaches();  // every request has ended: no picture is being drawn
    if (!served) {
        err << "trq serve: serving on " << options.listen << " failed\n";
        return kExitListen;
    }
    err << "trq serve: stopped\n";
    return kExitOk;
}

AddedCommand AddServeCommand(CLI::App& app) {
    auto serve = std::make_shared<ServeOptions>();
    CLI::App* command = app.add_subcommand(
        "serve",
        "FDSN web services over the archive: fdsnws-dataselect (miniSEED), fdsnws-station "
        "(from --inventory) and "
        "fdsnws-availability, with pages of the stations at / and /metrics for monitoring, "
        "read-only, until SIGINT or SIGTERM. The catalog and the data "
        "directory are found as the converter finds them unless given. Exits with 7 when "
        "the address cannot be bound.");
    command->add_option("--listen", serve->listen, "HOST:PORT to listen on (port 0: any free port)")
        ->capture_default_str();
    command
        ->add_option("--network", serve->network, "Network code of every stream (1-2 characters)")
        ->capture_default_str();
    command->add_option("--threads", serve->threads, "Requests handled at once")
        ->capture_default_str();
    command
        ->add_option("--max-seconds", serve->maxSeconds,
                     "Most seconds of data one dataselect request may ask for, over all its "
                     "channels; more is refused with 413")
        ->capture_default_str();
    command
        ->add_option("--max-samples", serve->maxSamples,
                     "Most samples one dataselect request may ask for (0: no limit by count)")
        ->capture_default_str();
    command
        ->add_option("--late-after", serve->lateSeconds,
                     "Seconds since a stream's last sample from which the pages call it late")
        ->capture_default_str();
    command
        ->add_option("--silent-after", serve->silentSeconds,
                     "Seconds since a stream's last sample from which the pages call it silent")
        ->capture_default_str();
    command->add_option("--watch-state", serve->watchState,
                        "The converter's watch mode's state file, for the pages and /metrics "
                        "(default: DATA/.plq2trq-watch.state)");
    AddEncodingOption(*command, serve->encoding);
    AddInventoryOption(*command, serve->inventory);
    AddCatalogArguments(*command, serve->catalog);
    command->add_option("--data-dir", serve->catalog.dataDir,
                        "Archive data directory (default: [DATA] DIR of the ini files)");
    return {command, [serve](std::ostream&, std::ostream& err) { return RunServe(*serve, err); }};
}

}  // namespace trq
