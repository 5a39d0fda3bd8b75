// trq export --sds: a recording across midnight written into SDS day files, read back by
// mseed2sac (samples and start times from the generator's input): the sample at exactly
// 00:00:00.000000 opens the new day. Exporting again, or the parts next to midnight first
// (a later part of the first day's window, an earlier one of the second's) and the whole
// after, leaves each day file with every record once, in time order; two pieces of a day
// are one day file. The inventory's codes name the files, and the manifest lists them with
// their checksums.

#include <gtest/gtest.h>

#include "tests/support/Sac.h"
#include "tests/trq/TrqTest.h"

namespace {

using namespace trqtest;

// 2013-10-22 23:50:00.000 for twenty minutes at 1 sample/s: 600 samples each day.
plqgen::RecordingSpec Midnight() {
    return RampRecording(22, 23, 50, 0, 1200);
}

TEST(SdsExport, DayFilesCutAtMidnightAndNeverTwice) {
    Workspace ws;
    ws.WriteRecording("r.plq", Midnight());
    ASSERT_EQ(ws.Convert("r.plq", "ABC").exitCode, 0);
    const auto exportSds = [&](const std::string& from, const std::string& to) {
        return ws.Trq(Args(ws, {"export", "--station", "ABC", "--channel", "BHZ", "--from", from,
                                "--to", to, "--sds", "sds", "@LOGIN@"}));
    };
    // Five minutes each side of midnight, then the whole window, then all of it again.
    EXPECT_EQ(exportSds("2013-10-22T23:55:00", "2013-10-23T00:05:00").exitCode, 0);
    EXPECT_EQ(exportSds("2013-10-22T23:00:00", "2013-10-23T01:00:00").out,
              "trq export: wrote below sds: 2 records, 600 samples into 2 day files\n");
    const std::string day = "sds/2013/XX/ABC/BHZ.D/XX.ABC..BHZ.D.2013.";
    const std::string first = ReadFile(ws.Path(day + "295")),
                      second = ReadFile(ws.Path(day + "296"));
    EXPECT_EQ(exportSds("2013-10-22T23:00:00", "2013-10-23T01:00:00").out,
              "trq export: wrote below sds: 0 records, 0 samples into 0 day files\n");
    EXPECT_EQ(ReadFile(ws.Path(day + "295")), first);
    EXPECT_EQ(ReadFile(ws.Path(day + "296")), second);

    const struct {
        const char* doy;
        const char* sac;
        const char* start;
        int32_t firstSample;
    } days[] = {{"295", "XX.ABC..BHZ.D.2013.295.235000.SAC", "23:50:00.000", 0},
                {"296", "XX.ABC..BHZ.D.2013.296.000000.SAC", "00:00:00.000", 600}};
    for (const auto& d : days) {
        const auto sacs = Mseed2Sac(ws.Path(day + d.doy), ws.Path(std::string("sac") + d.doy));
        ASSERT_EQ(sacs.size(), 1u) << d.doy;
        EXPECT_EQ(sacs.begin()->first, d.sac);
        EXPECT_EQ(sacs.begin()->second.Start(), d.start);
        EXPECT_EQ(sacs.begin()->second.samples,
                  ReferenceSamples(Midnight(), 1, d.firstSample, 600));
    }

    // A second recording later on the 23rd: two pieces of one day go into one day file.
    ws.WriteRecording("r2.plq", RampRecording(23, 0, 30, 250, 60));
    ASSERT_EQ(ws.Convert("r2.plq", "ABC").exitCode, 0);
    EXPECT_EQ(ws.Trq(Args(ws, {"export", "--station", "ABC", "--channel", "BHZ", "--from",
                               "2013-10-23", "--sds", "sds2", "@LOGIN@"}))
                  .out,
              "trq export: wrote below sds2: 2 records, 660 samples into 1 day files\n");

    // Listed in the inventory of trq.ini: its network and location codes name the day files.
    ws.WriteTrqIni("[FDSN]\nINVENTORY=" PLQ_SOURCE_DIR "/tests/golden/station/inventory.xml\n");
    const ProcessResult coded =
        ws.Trq(Args(ws, {"export", "--station", "ABC", "--channel", "BHZ", "--from", "2013-10-23",
                         "--sds", "sds", "@LOGIN@"}));
    EXPECT_EQ(coded.exitCode, 0) << coded.err;
    EXPECT_TRUE(std::filesystem::exists(ws.Path("sds/2013/ZZ/ABC/BHZ.D/ZZ.ABC.00.BHZ.D.2013.296")));

    // The manifest lists every day file written, with the checksum of what it holds now.
    std::string manifest;
    for (const char* file :
         {"2013/XX/ABC/BHZ.D/XX.ABC..BHZ.D.2013.295", "2013/XX/ABC/BHZ.D/XX.ABC..BHZ.D.2013.296",
          "2013/ZZ/ABC/BHZ.D/ZZ.ABC.00.BHZ.D.2013.296"}) {
        manifest +=
            ReferenceChecksum(ReadFile(ws.Path("sds/") + file)).fileHash + "  " + file + "\n";
    }
    EXPECT_EQ(ReadFile(ws.Path("sds/manifest-xxh3-128.txt")), manifest);
}

}  // namespace
