#pragma once
// `trq list [--station S,...] [--channel C,...] [--from T1] [--to T2]`: the catalog's rows of
// a selection (every station, all of its time, by default), one line each, in time order.

#include <ostream>

#include "trq/Command.h"
#include "trq/commands/SelectionQuery.h"

namespace trq {

struct ListOptions {
    SelectionArguments selection;
    bool json = false;
};

int RunList(const ListOptions& options, std::ostream& out, std::ostream& err);

// Adds `list` with its options to the command line.
AddedCommand AddListCommand(CLI::App& app);

}  // namespace trq
