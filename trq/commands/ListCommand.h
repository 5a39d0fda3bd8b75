#pragma once
// `trq list [--station S,...] [--channel C,...] [--from T1] [--to T2] [--sources]`: the
// catalog's rows of a selection (every station, all of its time, by default), one line each,
// in time order; with --sources, under each the recordings its file holds.

#include <ostream>

#include "trq/Command.h"
#include "trq/commands/SelectionQuery.h"

namespace trq {

struct ListOptions {
    SelectionArguments selection;
    bool json = false;
    bool sources = false;  // each row's recordings, from the catalog's record
};

int RunList(const ListOptions& options, std::ostream& out, std::ostream& err);

// Adds `list` with its options to the command line.
AddedCommand AddListCommand(CLI::App& app);

}  // namespace trq
