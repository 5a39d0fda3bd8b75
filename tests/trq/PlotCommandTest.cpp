// `trq plot`: the per-column envelope, the axes' ticks, and the picture itself, read back
// pixel by pixel.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "tests/trq/TrqTestSupport.h"
#include "trq/PlotAxis.h"
#include "trq/PlotEnvelope.h"

namespace {

using namespace trqtest;

TEST(ColumnEnvelope, DenseSamplesKeepEveryExtremeOfTheirColumn) {
    trq::ColumnEnvelope envelope(4);
    // 10 samples per column; one spike per column that a decimation would miss.
    std::vector<float> samples(40, 0.0f);
    samples[3] = 7;
    samples[17] = -2;
    samples[25] = 1;
    samples[39] = 9;
    envelope.Add(0, 0.1, samples);
    const std::vector<std::pair<float, float>> expected = {{0, 7}, {-2, 0}, {0, 1}, {0, 9}};
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        ASSERT_TRUE(envelope.Filled(c));
        EXPECT_EQ(envelope.Min(c), expected[c].first);
        EXPECT_EQ(envelope.Max(c), expected[c].second);
        EXPECT_EQ(envelope.JoinedFrom(c), c - 1);
    }
    EXPECT_EQ(envelope.First(3), 0);
    EXPECT_EQ(envelope.Last(3), 9);
    float low = 0, high = 0;
    ASSERT_TRUE(envelope.Range(low, high));
    EXPECT_EQ(low, -2);
    EXPECT_EQ(high, 9);
}

TEST(ColumnEnvelope, SparseSamplesAreJoinedAcrossEmptyColumnsAndGapsAreKept) {
    trq::ColumnEnvelope envelope(20);
    envelope.Add(2.5, 3.0,
                 std::vector<float>{1, 2, std::numeric_limits<float>::quiet_NaN(),
                                    4});                           // x 2.5 5.5 8.5 11.5
    envelope.Add(15, 1.0, std::vector<float>{5, 6, 7, 8, 9, 10});  // 15..20, 20 is out
    std::vector<int> filled;
    for (int c = 0; c < 20; ++c) {
        if (envelope.Filled(c)) filled.push_back(c);
    }
    EXPECT_EQ(filled, (std::vector<int>{2, 5, 11, 15, 16, 17, 18, 19}));
    EXPECT_EQ(envelope.JoinedFrom(2), -1);
    EXPECT_EQ(envelope.JoinedFrom(5), 2);
    EXPECT_EQ(envelope.JoinedFrom(11), -1);  // the NaN breaks the line
    EXPECT_EQ(envelope.JoinedFrom(15), -1);  // a new call starts a new line
    EXPECT_EQ(envelope.JoinedFrom(16), 15);
    EXPECT_EQ(envelope.Max(19), 9);
}

TEST(PlotAxis, TimeTicksAreRoundUtcTimes) {
    auto labels = [](double start, double end, int maxTicks) {
        std::vector<std::string> out;
        for (const trq::TimeTick& tick : trq::TimeTicks(start, end, maxTicks)) {
            out.push_back(tick.label + (tick.dateLabel.empty() ? "" : " " + tick.dateLabel));
        }
        return out;
    };
    EXPECT_EQ(labels(k20120305_070809, k20120305_070809 + 3600, 9),
              (std::vector<std::string>{"07:10 2012-03-05", "07:20", "07:30", "07:40", "07:50",
                                        "08:00"}));
    EXPECT_EQ(labels(k20131022_134734 + 0.25, k20131022_134734 + 1.0, 4),
              (std::vector<std::string>{"13:47:34.4 2013-10-22", "13:47:34.6", "13:47:34.8",
                                        "13:47:35.0"}));
    // Across midnight the new day is named again.
    EXPECT_EQ(labels(1382486400 - 7200, 1382486400 + 7200, 5),
              (std::vector<std::string>{"22:00 2013-10-22", "23:00", "00:00 2013-10-23", "01:00",
                                        "02:00"}));
    EXPECT_EQ(trq::TimeTickStep(30, 10), 5);
    EXPECT_EQ(trq::TimeTickStep(86400 * 30, 5), 86400 * 10);
}

TEST(PlotAxis, ValueTicksAreRoundAmplitudes) {
    EXPECT_EQ(trq::ValueTicks(-1050, 1050, 4), (std::vector<double>{-1000, 0, 1000}));
    EXPECT_EQ(trq::ValueTicks(-0.3, 0.45, 4), (std::vector<double>{-0.2, 0, 0.2, 0.4}));
    EXPECT_TRUE(trq::ValueTicks(5, 5, 4).empty());
    EXPECT_EQ(trq::ValueLabel(130944), "130944");
    EXPECT_EQ(trq::ValueLabel(-2.5), "-2.5");
    EXPECT_EQ(trq::ValueLabel(2147483648.0), "2.14748e+09");
}

// A PNG read back with cairo, with a test for the trace colour.
class Picture {
  public:
    explicit Picture(const std::string& path)
        : surface_(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy) {}
    bool Ok() const { return cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS; }
    int Width() const { return cairo_image_surface_get_width(surface_.get()); }
    int Height() const { return cairo_image_surface_get_height(surface_.get()); }
    // The traces are drawn in dark blue; nothing else in the picture is blue.
    bool IsTrace(int x, int y) const {
        const auto* row = cairo_image_surface_get_data(surface_.get()) +
                          y * cairo_image_surface_get_stride(surface_.get());
        uint32_t pixel;
        std::memcpy(&pixel, row + 4 * x, 4);
        const int r = (pixel >> 16) & 0xFF, b = pixel & 0xFF;
        return b > 100 && b - r > 60;
    }
    // Rows of column x between top and bottom (exclusive) that show the trace.
    std::vector<int> TraceRows(int x, int top, int bottom) const {
        std::vector<int> rows;
        for (int y = top; y < bottom; ++y) {
            if (IsTrace(x, y)) rows.push_back(y);
        }
        return rows;
    }

  private:
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
};

// Layout of the default picture: 1200 pixels wide, panels of 140 pixels from y = 34,
// 8 pixels apart, the plot area from x = 110 for 1066 pixels.
constexpr int kLeft = 110;
constexpr int kPlotWidth = 1066;
int PanelTop(int trace) {
    return 34 + trace * 148;
}

class PlotCommand : public ::testing::Test {
  protected:
    ProcessResult Run(const std::vector<std::string>& args) { return RunTrq(args, dir_.Path()); }
    TempDir dir_;
};

// One hour of zeros with a single sample of 1000 in its middle: reduced per column, the
// spike still reaches the top of its panel; elsewhere the trace is a line at zero.
TEST_F(PlotCommand, SingleSpikeInAnHourIsDrawn) {
    std::vector<float> samples(360000, 0.0f);
    samples[180000] = 1000;
    WriteArchiveFile(dir_ / "ABC/spike", HeaderFields{}, samples);
    const ProcessResult result = Run({"plot", "ABC/spike", "-o", "out.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "trq plot: wrote out.png (1 traces, 1200x230 pixels)\n");
    const Picture picture(dir_ / "out.png");
    ASSERT_TRUE(picture.Ok());
    EXPECT_EQ(picture.Width(), 1200);
    EXPECT_EQ(picture.Height(), 230);
    // Scale -50 .. 1050: value 1000 at row 34 + 140 - 1050/1100*140 = 40.4, 0 at 167.6.
    const int spikeColumn = kLeft + kPlotWidth / 2;
    const std::vector<int> rows = picture.TraceRows(spikeColumn, 34, 174);
    ASSERT_FALSE(rows.empty());
    EXPECT_LE(rows.front(), 41);
    EXPECT_GE(rows.back(), 167);
    for (int x : {kLeft + 300, kLeft + 700, kLeft + 1000}) {
        EXPECT_EQ(picture.TraceRows(x, 34, 174), (std::vector<int>{167})) << x;
    }
}

// Files of one station and channel join into one trace over the shared time axis, a gap
// between them stays empty; --separate gives each file its own panel.
TEST_F(PlotCommand, FilesOfOneChannelShareATraceAndGapsStayEmpty) {
    HeaderFields first;
    HeaderFields second;
    second.hour = 8;  // first: 07:08:09 for 1800 s; second: 08:08:09 for 1800 s
    WriteArchiveFile(dir_ / "ABC/a", first, std::vector<float>(180000, 5.0f));
    WriteArchiveFile(dir_ / "ABC/b", second, std::vector<float>(180000, 5.0f));
    HeaderFields other;
    other.channel = "SHN";
    WriteArchiveFile(dir_ / "ABC/c", other, Ramp(360000, 0, 0.01f));

    ProcessResult result = Run({"plot", "ABC/a", "ABC/c", "ABC/b", "-o", "joined.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "trq plot: wrote joined.png (2 traces, 1200x378 pixels)\n");
    const Picture joined(dir_ / "joined.png");
    ASSERT_TRUE(joined.Ok());
    // The time axis spans 5400 s: the gap is the middle third of the plot area.
    const int top = PanelTop(0);
    EXPECT_FALSE(joined.TraceRows(kLeft + 100, top, top + 140).empty());
    EXPECT_TRUE(joined.TraceRows(kLeft + kPlotWidth / 2, top, top + 140).empty());
    EXPECT_FALSE(joined.TraceRows(kLeft + kPlotWidth - 100, top, top + 140).empty());
    // The ramp of the second trace rises from bottom left to top right.
    const int top2 = PanelTop(1);
    const std::vector<int> early = joined.TraceRows(kLeft + 50, top2, top2 + 140);
    const std::vector<int> late = joined.TraceRows(kLeft + 650, top2, top2 + 140);
    ASSERT_FALSE(early.empty());
    ASSERT_FALSE(late.empty());
    EXPECT_GT(early.front(), late.front() + 50);

    result = Run({"plot", "--separate", "ABC/a", "ABC/b", "-o", "separate.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Picture separate(dir_ / "separate.png");
    EXPECT_EQ(separate.Height(), 378);
    EXPECT_TRUE(separate.TraceRows(kLeft + kPlotWidth - 100, top, top + 140).empty());
    EXPECT_FALSE(separate.TraceRows(kLeft + kPlotWidth - 100, top2, top2 + 140).empty());
}

TEST_F(PlotCommand, BrokenInputOrOutputWritesNoPicture) {
    WriteArchiveFile(dir_ / "ABC/good", HeaderFields{}, Ramp(100));
    WriteFile(dir_ / "ABC/bad", PaddedHeader(HeaderText(HeaderFields{})) + "xy");
    ProcessResult result = Run({"plot", "ABC/good", "ABC/bad", "-o", "out.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "trq plot: ABC/bad: file is 514 bytes, not 512 + 4 x samples (2 bytes left over)\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.png"));

    result = Run({"plot", "ABC/good", "-o", "no/such/dir/out.png"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(
        result.err.rfind("trq plot: cairo_surface_write_to_png(no/such/dir/out.png) failed: ", 0),
        0u)
        << result.err;

    EXPECT_EQ(Run({"plot", "ABC/good"}).exitCode, 2);  // -o is required
    EXPECT_EQ(Run({"plot", "ABC/good", "-o", "x.png", "--width", "10"}).exitCode, 2);
}

// A converter-written recording of three channels, as the demonstration plots it.
class PlotOnConvertedArchive : public ConvertedArchive {};

TEST_F(PlotOnConvertedArchive, ThreeChannelsGiveThreeTraces) {
    plqgen::RecordingSpec spec = Recording(6000);
    spec.signal = plqgen::Signal::Sine;
    spec.sampleFormat = 0;
    ASSERT_NO_FATAL_FAILURE(Convert(spec));
    std::vector<std::string> args = {"plot"};
    for (const char* channel : {"BHZ", "BHN", "BHE"}) {
        args.push_back(ArchivePath(std::string("ABC/22102013-134734-") + channel + ".ABC"));
    }
    args.insert(args.end(), {"-o", "demo.png"});
    const ProcessResult result = Trq(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Picture picture(dir_ / "demo.png");
    ASSERT_TRUE(picture.Ok());
    EXPECT_EQ(picture.Height(), 34 + 3 * 140 + 2 * 8 + 56);
    for (int trace = 0; trace < 3; ++trace) {
        // Over a few of its periods a sine reaches from near the top to near the bottom.
        int highest = 10000, lowest = -1;
        for (int x = kLeft + 400; x < kLeft + 600; ++x) {
            for (int y : picture.TraceRows(x, PanelTop(trace), PanelTop(trace) + 140)) {
                highest = std::min(highest, y);
                lowest = std::max(lowest, y);
            }
        }
        EXPECT_LT(highest, PanelTop(trace) + 15) << trace;
        EXPECT_GT(lowest, PanelTop(trace) + 125) << trace;
    }
}

}  // namespace
