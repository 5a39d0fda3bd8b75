#pragma once
// `trq plot FILE... -o OUT.png`: a quick-look picture of archive files.

#include <ostream>
#include <string>
#include <vector>

namespace trq {

struct PlotOptions {
    std::vector<std::string> files;
    std::string output;
    int width = 1200;
    int traceHeight = 140;
    // One trace per file. By default the files of one station and channel join into one
    // trace, so that a day of hourly files reads as one line.
    bool separate = false;
};

int RunPlot(const PlotOptions& options, std::ostream& out, std::ostream& err);

}  // namespace trq
