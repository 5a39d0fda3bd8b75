#pragma once
// `trq avail [--station S,...] [--channel C,...] [--from T1] [--to T2]`: per station and
// channel (every station, all of its time, by default) the continuous spans, the gaps and
// the overlaps within the window and the share of it covered, from the catalog alone; as
// text, --json, or a picture with --plot OUT.png, one row per station and channel.

#include <ostream>
#include <string>

#include "trq/Command.h"
#include "trq/commands/SelectionQuery.h"

namespace trq {

struct AvailOptions {
    SelectionArguments selection;
    bool json = false;
    std::string plot;  // PNG to write; empty: none
    int width = 1200;
};

int RunAvail(const AvailOptions& options, std::ostream& out, std::ostream& err);

// Adds `avail` with its options to the command line.
AddedCommand AddAvailCommand(CLI::App& app);

}  // namespace trq
