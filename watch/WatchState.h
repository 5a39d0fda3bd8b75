#pragma once
// What the watch service tells about itself in its state file, for `trq serve` and for
// monitoring: written beside the archive ([WATCH] STATE, by default
// DATA/.plq2trq-watch.state), whole or not at all (written beside it and renamed), at most
// once a second while something changes, and when the service stops. One JSON object:
//
//   {"pid": 4711, "watching": "/srv/trq/incoming", "started": "2026-01-05T08:00:00Z",
//    "updated": "2026-01-05T09:12:03Z", "state": "watching",
//    "backlog": 2, "converting": 1, "waiting": 0,
//    "outcomes": {"converted": 812, "journaled": 0, "failed": 3, "incomplete": 1,
//                 "unchanged": 0},
//    "catalog": "available", "journal": {"stations": 0, "entries": 0},
//    "lastScan": "2026-01-05T09:10:00Z", "lastScanFiles": 815,
//    "lastConversion": "2026-01-05T09:12:03Z"}
//
// state: "watching", or "stopped" once the service ended; backlog: recordings handed on and
// not yet taken; converting: those being converted; waiting: files seen that are not yet
// complete; outcomes: since the service started; catalog: "available" or "away";
// journal: the stations' journals of the watched stations and their lines.

#include <map>
#include <string>

struct WatchState {
    long pid = 0;
    std::string watching;
    double started = 0;
    bool stopped = false;
    std::size_t backlog = 0;
    std::size_t converting = 0;
    std::size_t waiting = 0;
    std::map<std::string, std::size_t> outcomes{
        {"converted", 0}, {"journaled", 0}, {"failed", 0}, {"incomplete", 0}, {"unchanged", 0}};
    bool catalogAway = false;
    std::size_t journalStations = 0;
    std::size_t journalEntries = 0;
    double lastScan = 0;  // 0: none yet
    std::size_t lastScanFiles = 0;
    double lastConversion = 0;
};

// The state as the file holds it, `now` as "updated".
std::string StateJson(const WatchState& state, double now);
// Writes it to `path` (through PATH.tmp); false when it could not.
bool WriteStateFile(const std::string& path, const WatchState& state, double now);
