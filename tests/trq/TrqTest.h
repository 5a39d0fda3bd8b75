#pragma once
// What the toolkit's tests share: the golden recording converted into a workspace, its
// archive files, archive files written by hand, and golden texts of tests/golden/trq
// (transcripts of trq runs, see tests/support/Transcript.h).

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Bytes.h"
#include "tests/support/Transcript.h"
#include "tests/support/Workspace.h"

namespace trqtest {

using namespace testsupport;

inline const std::string kGolden = PLQ_SOURCE_DIR "/tests/golden";

inline std::string GoldenText(const std::string& name) {
    return ReadFile(kGolden + "/trq/" + name);
}

// The golden recording as plqgen makes it (tests/golden/README.md): the independent
// reference of every converted sample.
inline plqgen::RecordingSpec GoldenSpec() {
    plqgen::RecordingSpec spec;
    spec.samplesPerChannel = 1000;
    spec.millisecond = 250;
    return spec;
}

// The golden recording converted as `station`; fails the test unless the run ends with
// `exitCode`.
inline void ConvertGolden(const Workspace& ws, const std::string& station = "ABC",
                          int exitCode = 0) {
    std::filesystem::copy_file(kGolden + "/rec.plq", ws.Path(station + ".plq"));
    const ProcessResult result = ws.Convert(station + ".plq", station);
    ASSERT_EQ(result.exitCode, exitCode) << result.out;
}

// A converted file of the golden recording, relative to the workspace (where trq runs).
inline std::string Converted(const std::string& channel, const std::string& station = "ABC") {
    return "archive/" + station + "/22102013-134734-" + channel + "." + station;
}

// An archive file written by hand from the format's text: 2012-02-29 23:59:59, a leap day
// one second before the month ends, so that every start and end crosses a date.
inline std::string HandFile(const std::vector<float>& samples, const std::string& rate = "4",
                            const std::string& station = "XYZ", const std::string& date = "29 02") {
    return PaddedHeader("[TRQ5.x]\r\nData offset=512\r\nStart time=23 59 59\r\nStart date=" + date +
                        " 2012\r\nTime duration=00 00 00\r\nData Type=FLOAT\r\nSpS=" + rate +
                        ".000000\r\nGain=1\r\nStation=" + station + "\r\nChannels=\"SHZ\"\r\n") +
           FloatBytes(samples);
}

}  // namespace trqtest
