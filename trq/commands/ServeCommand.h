#pragma once
// `trq serve [--listen HOST:PORT] [--network XX] [--threads N]`: FDSN web services
// (dataselect, station, availability) over the archive and its catalog, found as the other
// commands find them, with pages of the archive at a glance and /metrics for monitoring. Read-only:
// the catalog is opened read-only where the driver allows, and no file is ever written. Runs until
// SIGINT or SIGTERM, then ends with 0 once the requests under way are answered; 2 for a wrong
// command line, 7 when the address cannot be bound.

#include <cstdint>
#include <ostream>
#include <string>

#include "trq/Command.h"
#include "trq/commands/CatalogOptions.h"

namespace trq {

struct ServeOptions {
    std::string listen = "127.0.0.1:8080";
    std::string network = "XX";
    int threads = 8;
    double maxSeconds = 86400;
    int64_t maxSamples = 0;
    std::string encoding = "auto";  // of dataselect's records: auto, steim2, float32
    std::string inventory;          // StationXML file; empty: [FDSN] INVENTORY of the ini files
    double lateSeconds = 3600;      // the pages' latency classes (ServeSettings.h)
    double silentSeconds = 86400;
    std::string watchState;  // the watch mode's state file; empty: DATA/.plq2trq-watch.state
    CatalogArguments catalog;
};

int RunServe(const ServeOptions& options, std::ostream& err);

// HOST and PORT of "HOST:PORT" ("[::1]:8080" for an IPv6 address); false when it is not
// such a text.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);

// Adds `serve` with its options to the command line.
AddedCommand AddServeCommand(CLI::App& app);

}  // namespace trq
