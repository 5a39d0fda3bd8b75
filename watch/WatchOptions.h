#pragma once
// What the watch mode's command line asks for (parsed in plq2trq/CommandLine.h):
// `plq2trq --watch DIR [--jobs N]`.

#include <string>

struct WatchOptions {
    std::string tree;   // DIR: recordings arrive below DIR/STA/ (STA the station)
    unsigned jobs = 0;  // stations converted side by side (0: the cores)
};
