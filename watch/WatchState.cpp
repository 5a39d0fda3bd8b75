#include "watch/WatchState.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "recorder/UtcTime.h"

namespace {

nlohmann::json Time(double seconds) {
    return seconds > 0 ? nlohmann::json(FormatIsoUtc(seconds, 0)) : nlohmann::json(nullptr);
}

}  // namespace

std::string StateJson(const WatchState& s, double now) {
    const nlohmann::ordered_json json = {
        {"pid", s.pid},
        {"watching", s.watching},
        {"started", Time(s.started)},
        {"updated", Time(now)},
        {"state", s.stopped ? "stopped" : "watching"},
        {"backlog", s.backlog},
        {"converting", s.converting},
        {"waiting", s.waiting},
        {"outcomes", s.outcomes},
        {"catalog", s.catalogAway ? "away" : "available"},
        {"journal", {{"stations", s.journalStations}, {"entries", s.journalEntries}}},
        {"lastScan", Time(s.lastScan)},
        {"lastScanFiles", s.lastScanFiles},
        {"lastConversion", Time(s.lastConversion)},
    };
    return json.dump(1) + "\n";
}

bool WriteStateFile(const std::string& path, const WatchState& state, double now) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << StateJson(state, now);
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
