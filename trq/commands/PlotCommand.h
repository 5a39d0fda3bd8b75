#pragma once
// `trq plot FILE... -o OUT.png`: a quick-look picture of archive files.
// `trq plot --station S,... [--channel C,...] [--from T1] [--to T2] -o OUT.png`: the same
// picture of a selection's samples in [T1, T2) (without them, the whole extent), one trace
// per station and channel over the one time axis of the window.

#include <ostream>
#include <string>
#include <vector>

#include "trq/Command.h"
#include "trq/commands/SelectionQuery.h"

namespace trq {

struct PlotOptions {
    std::vector<std::string> files;
    std::string output;
    int width = 1200;
    int traceHeight = 140;
    // One trace per file. By default the files of one station and channel join into one
    // trace, so that a day of hourly files reads as one line.
    bool separate = false;
    // Used instead of `files` when it names a station.
    SelectionArguments selection;
};

int RunPlot(const PlotOptions& options, std::ostream& out, std::ostream& err);

// Adds `plot` with its options to the command line.
AddedCommand AddPlotCommand(CLI::App& app);

}  // namespace trq
