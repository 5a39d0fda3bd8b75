// `trq plot` and the availability picture read back from the PNG, and `trq export` read back
// by two independent miniSEED readers: libmseed and mseed2sac.

#include <cairo.h>
#include <libmseed.h>

#include <algorithm>
#include <array>

#include "catalog/Availability.h"
#include "tests/trq/TrqTest.h"
#include "trq/mseed/MiniSeedPacker.h"
#include "trq/plot/AvailabilityPicture.h"
#include "trq/plot/PlotRenderer.h"

namespace {

using namespace trqtest;

// The topmost row of each pixel column that shows a trace, from left to right. Traces are
// drawn in dark blue, which nothing else in a picture is.
std::vector<int> TraceTops(const std::string& png) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
    std::vector<int> tops(std::max(0, cairo_image_surface_get_width(surface)), -1);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = cairo_image_surface_get_height(surface) - 1; y >= 0; --y) {
        for (std::size_t x = 0; x < tops.size(); ++x) {
            uint32_t pixel = 0;  // ARGB in the machine's byte order
            std::memcpy(&pixel, data + y * stride + 4 * x, 4);
            const int red = (pixel >> 16) & 0xFF, blue = pixel & 0xFF;
            if (blue > 100 && blue - red > 60) tops[x] = y;
        }
    }
    cairo_surface_destroy(surface);
    std::erase(tops, -1);
    return tops;
}

// Each pixel column shows the extremes of its samples, so one sample in an hour still
// reaches from the line at zero far up, in the middle of the time axis, and nowhere else.
// Broken input writes no picture.
TEST(Plot, ConvertedFilesASpikeAndBrokenInput) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    std::vector<float> samples(360000, 0.0f);
    samples[180150] = 1000;  // inside a pixel column, neither its first nor its last
    WriteFile(ws.Path("spike"), HandFile(samples, "100"));
    WriteFile(ws.Path("bad"), HandFile({1}) + "xy");
    EXPECT_EQ(Transcript(ws, {{"plot", Converted("BHZ"), Converted("BHN"), Converted("BHE"), "-o",
                               "out.png"},
                              {"plot", "spike", "-o", "spike.png"},
                              {"plot", Converted("BHZ"), "bad", "-o", "bad.png"}}),
              GoldenText("plot.txt"));
    // The signature, then the IHDR chunk with width 1200 and height 526, big-endian.
    EXPECT_EQ(ReadFile(ws.Path("out.png")).substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x04\xb0\0\0\x02\x0e", 24));
    EXPECT_FALSE(std::filesystem::exists(ws.Path("bad.png")));
    EXPECT_EQ(ws.Trq({"plot", Converted("BHZ"), "-o", "no/such/dir.png"}).exitCode, 4);

    const std::vector<int> tops = TraceTops(ws.Path("spike.png"));
    ASSERT_GT(tops.size(), 1000u);
    const int zero = tops[tops.size() / 4];
    const auto peak = std::min_element(tops.begin(), tops.end());
    EXPECT_LT(*peak, zero - 100);
    EXPECT_NEAR(double(peak - tops.begin()) / double(tops.size() - 1), 0.5, 0.005);
    // The spike's column and at most its anti-aliased edges leave the line at zero.
    EXPECT_LE(std::count_if(tops.begin(), tops.end(), [zero](int y) { return y < zero - 2; }), 3);
}

// Red, green and blue of every pixel of a PNG, row by row.
std::vector<std::array<int, 3>> Pixels(const std::string& png, int& width) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
    width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::vector<std::array<int, 3>> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = 0;  // ARGB in the machine's byte order
            std::memcpy(&pixel, data + y * cairo_image_surface_get_stride(surface) + 4 * x, 4);
            pixels.push_back({int(pixel >> 16 & 0xFF), int(pixel >> 8 & 0xFF), int(pixel & 0xFF)});
        }
    }
    cairo_surface_destroy(surface);
    return pixels;
}

// Two files of one channel that overlap: the plot says so, and draws the overlap as an orange
// band across the panel.
TEST(Plot, OverlappingRunsAreMarked) {
    Workspace ws;
    WriteFile(ws.Path("a"), HandFile(std::vector<float>(400, 1.0f)));
    WriteFile(ws.Path("b"), HandFile(std::vector<float>(400, 2.0f)));
    EXPECT_EQ(ws.Trq({"plot", "a", "b", "-o", "o.png"}).out,
              "trq plot: wrote o.png (1 traces, 1 overlap, 1200x230 pixels)\n");
    int width = 0;
    const auto pixels = Pixels(ws.Path("o.png"), width);
    EXPECT_GT(std::count_if(pixels.begin(), pixels.end(),
                            [](const auto& p) { return p[0] > 230 && p[1] < 225 && p[2] < 190; }),
              10000);
}

// The availability picture agrees with the text: its title ends at the window's exact end
// (not rounded up a second), its coverage is the text's (99.9998 %, not 100.00 %), and a
// station that starts 0.4 s after another, at midnight, has no red before its first sample.
TEST(AvailabilityPicture, AgreesWithTheText) {
    const int64_t midnight = 1382400000LL * 1000000;  // 2013-10-22 00:00:00
    const TimeWindow window{midnight, midnight + 200000250000};
    std::vector<ContinuousSegment> segments{{"ABC", "BHZ", 1, window.from, window.to, {}},
                                            {"XYZ", "BHZ", 1, window.from + 400000, window.to, {}}};
    const std::vector<ChannelAvailability> channels = DescribeAvailability(segments, window);
    EXPECT_EQ(trq::AvailabilityTitle("stations ABC,XYZ", window),
              "Data availability, stations ABC,XYZ, 2013-10-22 00:00:00 to 2013-10-24 07:33:20.25 "
              "UTC");
    EXPECT_EQ(channels[1].CoverageText(window), "99.9998 %");
    Workspace ws;
    trq::RenderAvailabilityPng(channels, window, 1000, "title", ws.Path("a.png"));
    int width = 0;
    const auto pixels = Pixels(ws.Path("a.png"), width);
    // The second bar's first columns inside its frame, halfway down: 60 + 34 + 11 pixels.
    for (int x : {111, 112}) {
        const auto& pixel = pixels[static_cast<std::size_t>(105 * width + x)];
        EXPECT_GT(pixel[1], pixel[0]) << "column " << x;
    }
    trq::ReleaseFontCaches();
}

struct Trace {
    hptime_t start = 0;  // microseconds since 1970
    double rate = 0;
    std::string samples;  // float32 little-endian
};

// Every trace of a miniSEED file as libmseed reads it, by NET.STA.LOC.CHA.
std::map<std::string, Trace> ReadMiniSeed(const std::string& path) {
    MSTraceGroup* group = nullptr;
    EXPECT_EQ(ms_readtraces(&group, path.c_str(), 0, -1.0, -1.0, 0, 1, 1, 0), MS_NOERROR);
    std::map<std::string, Trace> traces;
    for (MSTrace* t = group != nullptr ? group->traces : nullptr; t != nullptr; t = t->next) {
        // Whole numbers come as Steim-2 (integers), anything else as float32.
        std::vector<float> samples(static_cast<std::size_t>(t->numsamples));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = t->sampletype == 'i'
                             ? static_cast<float>(static_cast<const int32_t*>(t->datasamples)[i])
                             : static_cast<const float*>(t->datasamples)[i];
        }
        EXPECT_TRUE(t->sampletype == 'i' || t->sampletype == 'f');
        traces[std::string(t->network) + "." + t->station + "." + t->location + "." + t->channel] =
            {t->starttime, t->samprate, FloatBytes(samples)};
    }
    mst_freegroup(&group);
    return traces;
}

class ExportOnCatalog : public ::testing::TestWithParam<CatalogKind> {};

// With the catalog, each file starts at its row's TBEGIN, 13:47:34.25, which no header
// holds; the float32 samples come back bit for bit.
TEST_P(ExportOnCatalog, StartFromTheCatalogAndEverySampleReadBack) {
    Workspace ws(GetParam());
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    const ProcessResult result = ws.Trq(Args(ws, {"export", Converted("BHZ"), Converted("BHN"),
                                                  Converted("BHE"), "-o", "out.mseed", "@LOGIN@"}));
    EXPECT_EQ(result.out + result.err,
              "trq export: wrote out.mseed: 3 records, 3000 samples from 3 files\n");
    const std::map<std::string, Trace> traces = ReadMiniSeed(ws.Path("out.mseed"));
    EXPECT_EQ(traces.size(), 3u);
    const ProcessResult sac =
        RunProcess("/usr/bin/mseed2sac", {"-f", "3", "out.mseed"}, ws.Dir().Path());
    ASSERT_EQ(sac.exitCode, 0) << sac.err;
    for (const auto& [number, channel] : {std::pair{1, "BHZ"}, {2, "BHN"}, {3, "BHE"}}) {
        SCOPED_TRACE(channel);
        const std::string samples = FloatBytes(ReferenceSamples(GoldenSpec(), number, 0, 1000));
        const Trace& trace = traces.at(std::string("XX.ABC..") + channel);
        EXPECT_EQ(trace.start, 1382449654250000);
        EXPECT_EQ(trace.rate, 100.0);
        EXPECT_TRUE(trace.samples == samples);
        // SAC: reference time (year, day of year, h, m, s, ms), samples, begin, interval.
        const std::string file =
            ReadFile(ws.Path(std::string("XX.ABC..") + channel + ".D.2013.295.134734.SAC"));
        std::vector<uint32_t> fields;
        for (std::size_t offset : {280, 284, 288, 292, 296, 300, 316, 20, 0}) {
            fields.push_back(LittleEndian32(file, offset));
        }
        EXPECT_EQ(fields, (std::vector<uint32_t>{2013, 295, 13, 47, 34, 250, 1000, 0, 0x3C23D70A}));
        EXPECT_TRUE(file.substr(632) == samples);
    }
}

// TBEGIN keeps the seconds the converter formed in single precision, 34.123 s as
// 34.12300109863281 s; PostgreSQL gives the double back whole and the export keeps its
// microseconds.
TEST(ExportOnPostgres, MicrosecondsOfTheStartAreKept) {
    Workspace ws(CatalogKind::kPostgres);
    plqgen::RecordingSpec spec = GoldenSpec();
    spec.millisecond = 123;
    ws.WriteRecording("rec.plq", spec);
    ASSERT_EQ(ws.Convert("rec.plq").exitCode, 0);
    ASSERT_EQ(ws.Trq(Args(ws, {"export", Converted("BHZ"), "-o", "out.mseed", "@LOGIN@"})).exitCode,
              0);
    EXPECT_EQ(ReadMiniSeed(ws.Path("out.mseed"))["XX.ABC..BHZ"].start, 1382449654123001);
}

// Steim-2 carries whole numbers of int32 whose steps fit its 30 bits, -2^29 to 2^29 - 1.
TEST(Export, SteimTwoOnlyForStepsOfThirtyBits) {
    const struct {
        const char* id;
        std::vector<float> samples;
        bool carried;
    } cases[] = {
        {"widest-steps", {1, 536870912, 0}, true},   {"up-2^29", {0, 536870912}, false},
        {"down-2^29-1", {536870912, -1}, false},     {"fraction", {0, 0.5f}, false},
        {"beyond-int32", {0, 2147483648.0f}, false}, {"first-sample-alone", {-1e9f}, true}};
    for (const auto& c : cases) EXPECT_EQ(trq::Steim2Carries(c.samples), c.carried) << c.id;
}

// Without a catalog, or with a row rebuilt from the header alone, the start is the
// header's whole second and a warning says so; a step beyond Steim-2 goes out as float32;
// rows that do not give the start, and names that do not fit a SEED record, are refused
// and nothing is written; so is all when the catalog cannot be reached.
TEST(Export, StartsTheCatalogDoesNotGiveAndNamesSeedDoesNotTake) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    for (const char* sql : {"UPDATE FILELIST SET TBEGIN=1382449654, CREATER='PLQ2TRQ (from "
                            "header)' WHERE CH='BHZ'",
                            "DELETE FROM FILELIST WHERE CH='BHN'",
                            "UPDATE FILELIST SET TBEGIN=TBEGIN+1 WHERE CH='BHE'"}) {
        ExecuteSql(ws.Catalog(), sql);
    }
    WriteFile(ws.Path("long"), HandFile({1}, "4", "STATION"));
    WriteFile(ws.Path("steps"), HandFile({0, 536870912, 0, 536870912}));
    WriteFile(ws.Path("spaced"), HandFile({1}, "4", "X Z"));
    // The ini files name a catalog that cannot be opened: files go with header seconds.
    std::string ini = ws.IniText(ws.ArchiveDir());
    ws.WriteIni(ini.replace(ini.find("ODBC=TRQ"), 8, "ODBC=NOCATALOG"));
    EXPECT_EQ(
        Transcript(ws, {{"export", Converted("BHZ"), "steps", "-o", "none.mseed"},
                        {"export", Converted("BHZ"), "-o", "header.mseed", "@LOGIN@"},
                        {"export", Converted("BHN"), Converted("BHE"), "-o", "x.mseed", "@LOGIN@"},
                        {"export", Converted("BHZ"), "long", "spaced", "-o", "x.mseed"},
                        {"export", Converted("BHZ"), "-o", "x.mseed", "--dsn", "NOSUCHDSN"}}),
        GoldenText("export.txt"));
    EXPECT_EQ(ReadMiniSeed(ws.Path("none.mseed"))["XX.ABC..BHZ"].start, 1382449654000000);
    EXPECT_TRUE(ReadMiniSeed(ws.Path("none.mseed"))["XX.XYZ..SHZ"].samples ==
                FloatBytes({0, 536870912, 0, 536870912}));
    EXPECT_EQ(ReadMiniSeed(ws.Path("header.mseed"))["XX.ABC..BHZ"].start, 1382449654000000);
    EXPECT_FALSE(std::filesystem::exists(ws.Path("x.mseed")));
}

// --encoding in every value, on whole numbers and on a fraction: Blockette 1000's encoding
// of the records (11 Steim-2, 4 float32), or the refusal of steim2 and nothing written.
TEST(Export, EveryEncodingOnWholeNumbersAndAFraction) {
    Workspace ws;
    WriteFile(ws.Path("whole"), HandFile({1, -2, 300}));
    WriteFile(ws.Path("fraction"), HandFile({1, 0.5}));
    std::string ini = ws.IniText(ws.ArchiveDir());  // no catalog: the header's start
    ws.WriteIni(ini.replace(ini.find("ODBC=TRQ"), 8, "ODBC=NOCATALOG"));
    const std::map<int, int> steim2{{11, 1}}, float32{{4, 1}}, none{};
    const struct {
        const char *encoding, *file;
        int exitCode;
        std::map<int, int> records;
    } cases[] = {{"auto", "whole", 0, steim2},     {"auto", "fraction", 0, float32},
                 {"steim2", "whole", 0, steim2},   {"steim2", "fraction", 8, none},
                 {"float32", "whole", 0, float32}, {"float32", "fraction", 0, float32},
                 {"steim1", "whole", 2, none}};
    const std::string out = ws.Path("out.mseed");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + c.file);
        std::filesystem::remove(out);
        const ProcessResult result =
            ws.Trq({"export", c.file, "--encoding", c.encoding, "-o", "out.mseed"});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(std::filesystem::exists(out) ? RecordEncodings(ReadFile(out)) : none, c.records);
    }
    EXPECT_NE(ws.Trq({"export", "fraction", "--encoding", "steim2", "-o", "-"})
                  .err.find("trq export: --encoding steim2: Steim-2 cannot carry the samples of "
                            "XYZ SHZ exactly (not whole numbers, or steps beyond 30 bits)\n"),
              std::string::npos);
}

// `-o -` writes the records to standard output and the summary to standard error; a
// terminal (here the pseudo-terminal of script(1)) gets no binary records.
TEST(Export, ToStandardOutputButNeverToATerminal) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    const ProcessResult result = ws.Trq({"export", Converted("BHZ"), "-o", "-"});
    EXPECT_EQ(result.err, "trq export: wrote -: 1 records, 1000 samples from 1 file\n");
    WriteFile(ws.Path("piped.mseed"), result.out);
    EXPECT_TRUE(ReadMiniSeed(ws.Path("piped.mseed"))["XX.ABC..BHZ"].samples ==
                FloatBytes(ReferenceSamples(GoldenSpec(), 1, 0, 1000)));
    const std::string command = std::string(TrqPath()) + " export " + Converted("BHZ") + " -o -";
    const ProcessResult terminal =
        RunProcess("/usr/bin/script", {"-qec", command, "/dev/null"}, ws.Dir().Path(), ws.Env());
    EXPECT_EQ(terminal.exitCode, 2);
    EXPECT_EQ(terminal.out,
              "trq export: -o - writes miniSEED records to standard output, which is a terminal: "
              "redirect it to a file or a pipe\r\n");

    // Failing after the first file's records went out (Steim-2 cannot carry the second
    // file's fractions) leaves the files here alone, one named "-" among them.
    std::string ini = ws.IniText(ws.ArchiveDir());
    ws.WriteIni(ini.replace(ini.find("ODBC=TRQ"), 8, "ODBC=NOCATALOG"));
    WriteFile(ws.Path("-"), "kept");
    WriteFile(ws.Path("halves"), HandFile({0.5f}));
    const ProcessResult failed =
        ws.Trq({"export", Converted("BHZ"), "halves", "--encoding", "steim2", "-o", "-"});
    EXPECT_EQ(failed.exitCode, 8);  // Steim-2 refused
    EXPECT_EQ(failed.out.size(), 4096u);
    EXPECT_EQ(ReadFile(ws.Path("-")), "kept");
}

// `trq list` names each file below the data directory, where `trq info` opens it; the
// catalog's own path stays in --json (tests/golden/find-by-time/list-and-avail.txt).
TEST(List, PrintsPathsThatOpenFromHere) {
    Workspace ws;
    ASSERT_NO_FATAL_FAILURE(ConvertGolden(ws));
    const ProcessResult list =
        ws.Trq({"list", "--station", "ABC", "--from", "2013-10-22", "--data-dir", "archive"});
    EXPECT_EQ(list.out,
              "archive/ABC/22102013-134734-BHE.ABC  ABC  BHE  2013-10-22T13:47:34.250000Z  "
              "2013-10-22T13:47:44.250000Z  1000  100\n"
              "archive/ABC/22102013-134734-BHN.ABC  ABC  BHN  2013-10-22T13:47:34.250000Z  "
              "2013-10-22T13:47:44.250000Z  1000  100\n"
              "archive/ABC/22102013-134734-BHZ.ABC  ABC  BHZ  2013-10-22T13:47:34.250000Z  "
              "2013-10-22T13:47:44.250000Z  1000  100\n");
    for (const char* channel : {"BHE", "BHN", "BHZ"}) {
        EXPECT_EQ(ws.Trq({"info", Converted(channel)}).exitCode, 0) << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogs, ExportOnCatalog,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
