#pragma once
// miniSEED read back by an independent reader: mseed2sac (a Debian tool) turns each trace
// into a little-endian SAC file, whose start and samples the tests compare.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

namespace testsupport {

struct SacTrace {
    float delta = 0, begin = 0;
    int32_t year = 0, dayOfYear = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    std::vector<float> samples;

    // "hh:mm:ss.mmm" of the first sample.
    std::string Start() const {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hour, minute, second, millisecond);
        return text;
    }
};

// The SAC header fields and samples of a little-endian SAC file (632-byte header).
inline SacTrace ReadSac(const std::string& path) {
    const std::string bytes = ReadFile(path);
    SacTrace sac;
    if (bytes.size() < 632) return sac;
    auto at = [&bytes](std::size_t offset, auto& value) {
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    };
    at(0, sac.delta);
    at(20, sac.begin);
    at(280, sac.year);
    at(284, sac.dayOfYear);
    at(288, sac.hour);
    at(292, sac.minute);
    at(296, sac.second);
    at(300, sac.millisecond);
    sac.samples.resize((bytes.size() - 632) / 4);
    std::memcpy(sac.samples.data(), bytes.data() + 632, sac.samples.size() * 4);
    return sac;
}

// The SAC files mseed2sac makes of `mseed` in the fresh directory `sacDir`, by file name.
inline std::map<std::string, SacTrace> Mseed2Sac(const std::string& mseed,
                                                 const std::string& sacDir) {
    std::filesystem::create_directories(sacDir);
    const ProcessResult result = RunProcess("/usr/bin/mseed2sac", {"-f", "3", mseed}, sacDir);
    std::map<std::string, SacTrace> traces;
    if (result.exitCode != 0) return traces;
    for (const auto& entry : std::filesystem::directory_iterator(sacDir)) {
        traces[entry.path().filename().string()] = ReadSac(entry.path().string());
    }
    return traces;
}

}  // namespace testsupport
