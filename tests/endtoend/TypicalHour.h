#pragma once
// The recording the catalog-loss tests convert: a typical hour (216 registrations) of three
// channels at 100 sps, int32, starting at 13:47:34.25, so that rows must keep a fraction no
// header holds; what its conversion must leave; and the repair that makes the catalog whole.

#include <gtest/gtest.h>

#include "tests/support/Transcript.h"
#include "tests/support/Workspace.h"

namespace testsupport {

inline plqgen::RecordingSpec TypicalHour() {
    plqgen::RecordingSpec hour;
    hour.sampleFormat = 2;
    hour.millisecond = 250;
    return hour;
}

// FILELIST as Workspace::CatalogRows gives it after the hour's conversion.
inline Rows TypicalHourRows() {
    Rows rows;
    for (const char* channel : {"BHE", "BHN", "BHZ"}) {
        rows.push_back({std::string("ABC\\22102013-134734-") + channel + ".ABC", "ABC", channel,
                        "1382449654.25", "3600", "100", "1", "3", "PLQ2TRQ", "512"});
    }
    return rows;
}

// Each channel's archive file holds the whole hour.
inline void ExpectWholeHourFiles(const Workspace& ws) {
    for (const char* channel : {"BHE", "BHN", "BHZ"}) {
        const std::string file = std::string("ABC/22102013-134734-") + channel + ".ABC";
        EXPECT_EQ(ws.ArchiveFiles().at(file).size, 512u + 360000u * 4u) << file;
    }
}

// `trq check --repair` on the archive and catalog; the run must end with 0.
inline ProcessResult Repair(const Workspace& ws) {
    const ProcessResult repair =
        ws.Trq(Args(ws, {"check", ws.ArchiveDir(), "@LOGIN@", "--repair"}));
    EXPECT_EQ(repair.exitCode, 0) << repair.out << repair.err;
    return repair;
}

}  // namespace testsupport
