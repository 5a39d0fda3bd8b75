// `trq export`: miniSEED read back by independent readers (mseed2sac's SAC files, and
// libmseed's own reader), every sample and the start time compared.

#include <gtest/gtest.h>
#include <libmseed.h>

#include <cmath>

#include "tests/trq/TrqTestSupport.h"

namespace {

using namespace trqtest;

constexpr char kMseed2Sac[] = "/usr/bin/mseed2sac";

// The parts of a little-endian binary SAC file the tests compare.
//
//  FIELD   TYPE     OFFSET
//  delta   float       0    seconds between samples
//  b       float      20    start of the data relative to the reference time, seconds
//  nzyear  int32     280    reference time: year, day of year, hour, minute, second, ms
//  nzjday  int32     284
//  nzhour  int32     288
//  nzmin   int32     292
//  nzsec   int32     296
//  nzmsec  int32     300
//  npts    int32     316    number of samples
//  data    float     632    npts samples
struct SacFile {
    float delta = 0;
    float begin = 0;
    int year = 0, dayOfYear = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    std::vector<float> samples;

    // Seconds since 1970 of the first sample.
    double StartTime() const {
        const int64_t yearStart = [this] {
            int64_t days = 0;
            for (int y = 1970; y < year; ++y) {
                days += (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 366 : 365;
            }
            return days * 86400;
        }();
        return static_cast<double>(yearStart + (dayOfYear - 1) * 86400 + hour * 3600 + minute * 60 +
                                   second) +
               millisecond * 0.001 + begin;
    }
};

SacFile ReadSac(const std::string& path) {
    const std::string bytes = ReadFile(path);
    SacFile sac;
    auto f32 = [&bytes](std::size_t offset) {
        float v;
        std::memcpy(&v, bytes.data() + offset, 4);
        return v;
    };
    auto i32 = [&bytes](std::size_t offset) {
        int32_t v;
        std::memcpy(&v, bytes.data() + offset, 4);
        return v;
    };
    EXPECT_GE(bytes.size(), 632u);
    if (bytes.size() < 632) return sac;
    sac.delta = f32(0);
    sac.begin = f32(20);
    sac.year = i32(280);
    sac.dayOfYear = i32(284);
    sac.hour = i32(288);
    sac.minute = i32(292);
    sac.second = i32(296);
    sac.millisecond = i32(300);
    const auto count = static_cast<std::size_t>(i32(316));
    EXPECT_EQ(bytes.size(), 632 + 4 * count);
    for (std::size_t i = 0; i < count && 632 + 4 * i + 4 <= bytes.size(); ++i) {
        sac.samples.push_back(f32(632 + 4 * i));
    }
    return sac;
}

// Converts `mseed` into SAC files in a fresh directory `outDir` below `workDir`; returns
// the SAC files' names.
std::vector<std::string> Mseed2Sac(const std::string& workDir, const std::string& mseed,
                                   const std::string& outDir) {
    std::filesystem::create_directories(workDir + "/" + outDir);
    const ProcessResult result =
        testsupport::RunProcess(kMseed2Sac, {"-f", "3", "../" + mseed}, workDir + "/" + outDir);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(workDir + "/" + outDir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every trace of a miniSEED file, read with libmseed.
struct ReadTrace {
    std::string id;  // NET_STA_LOC_CHAN
    hptime_t start = 0;
    double rate = 0;
    std::vector<float> samples;
};

std::vector<ReadTrace> ReadWithLibmseed(const std::string& path) {
    MSTraceGroup* group = nullptr;
    const int code = ms_readtraces(&group, path.c_str(), 0, -1.0, -1.0, 0, 1, 1, 0);
    EXPECT_EQ(code, MS_NOERROR);
    std::vector<ReadTrace> traces;
    for (MSTrace* t = group != nullptr ? group->traces : nullptr; t != nullptr; t = t->next) {
        ReadTrace trace;
        trace.id =
            std::string(t->network) + "_" + t->station + "_" + t->location + "_" + t->channel;
        trace.start = t->starttime;
        trace.rate = t->samprate;
        EXPECT_EQ(t->sampletype, 'f');
        const auto* samples = static_cast<const float*>(t->datasamples);
        trace.samples.assign(samples, samples + t->numsamples);
        traces.push_back(std::move(trace));
    }
    mst_freegroup(&group);
    return traces;
}

const std::string kNoCatalogWarning =
    "trq export: warning: no catalog given (--dsn): each start time is the archive header's "
    "whole second, without the fraction of a second\n";

class ExportCommand : public ::testing::Test {
  protected:
    ProcessResult Run(const std::vector<std::string>& args) { return RunTrq(args, dir_.Path()); }
    TempDir dir_;
};

// Samples no integer encoding keeps: fractions, a huge and a tiny value, negative zero.
std::vector<float> AwkwardSamples(std::size_t count) {
    std::vector<float> samples = Ramp(count, -1234.5f, 0.37f);
    samples[1] = 3.4e38f;
    samples[2] = 1e-38f;
    samples[3] = -0.0f;
    return samples;
}

TEST_F(ExportCommand, Mseed2SacReadsEverySampleAndTheHeaderSecond) {
    ASSERT_TRUE(std::filesystem::exists(kMseed2Sac)) << "mseed2sac is not installed";
    const std::vector<float> samples = AwkwardSamples(25000);
    WriteArchiveFile(dir_ / "ABC/05032012-070809-SHZ.ABC", HeaderFields{}, samples);
    const ProcessResult result =
        Run({"export", "ABC/05032012-070809-SHZ.ABC", "-o", "out.mseed", "--network", "GE"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, kNoCatalogWarning);
    const int64_t size = static_cast<int64_t>(std::filesystem::file_size(dir_ / "out.mseed"));
    EXPECT_EQ(size % 4096, 0);
    EXPECT_EQ(result.out, "trq export: wrote out.mseed: " + std::to_string(size / 4096) +
                              " records, 25000 samples from 1 file\n");

    const std::vector<std::string> sacs = Mseed2Sac(dir_.Path(), "out.mseed", "sac");
    ASSERT_EQ(sacs, std::vector<std::string>{"GE.ABC..SHZ.D.2012.065.070809.SAC"});
    const SacFile sac = ReadSac(dir_ / ("sac/" + sacs[0]));
    EXPECT_EQ(sac.delta, 0.01f);
    EXPECT_EQ(sac.StartTime(), k20120305_070809);
    ASSERT_EQ(sac.samples.size(), samples.size());
    EXPECT_EQ(LittleEndianBytes(sac.samples), LittleEndianBytes(samples));  // bit for bit
}

TEST_F(ExportCommand, LibmseedReadsEveryFileAsItsOwnTrace) {
    HeaderFields z;
    HeaderFields n;
    n.channel = "SHN";
    n.rate = 20;
    n.second = 10;
    HeaderFields other;
    other.station = "XYZ12";
    other.channel = "H";
    other.rate = 0.5;
    const std::vector<float> zSamples = AwkwardSamples(9000);
    const std::vector<float> nSamples = Ramp(1000, 7.25f, -0.5f);
    const std::vector<float> otherSamples = Ramp(3, 1);
    WriteArchiveFile(dir_ / "z", z, zSamples);
    WriteArchiveFile(dir_ / "n", n, nSamples);
    WriteArchiveFile(dir_ / "o", other, otherSamples);
    const ProcessResult result = Run(
        {"export", "z", "n", "o", "-o", "out.mseed", "--location", "00", "--record-length", "512"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::filesystem::file_size(dir_ / "out.mseed") % 512, 0u);

    std::vector<ReadTrace> traces = ReadWithLibmseed(dir_ / "out.mseed");
    std::sort(traces.begin(), traces.end(),
              [](const ReadTrace& a, const ReadTrace& b) { return a.id < b.id; });
    ASSERT_EQ(traces.size(), 3u);
    const hptime_t second = static_cast<hptime_t>(k20120305_070809) * HPTMODULUS;
    EXPECT_EQ(traces[0].id, "XX_ABC_00_SHN");
    EXPECT_EQ(traces[0].start, second + HPTMODULUS);
    EXPECT_EQ(traces[0].rate, 20.0);
    EXPECT_EQ(LittleEndianBytes(traces[0].samples), LittleEndianBytes(nSamples));
    EXPECT_EQ(traces[1].id, "XX_ABC_00_SHZ");
    EXPECT_EQ(traces[1].start, second);
    EXPECT_EQ(traces[1].rate, 100.0);
    EXPECT_EQ(LittleEndianBytes(traces[1].samples), LittleEndianBytes(zSamples));
    EXPECT_EQ(traces[2].id, "XX_XYZ12_00_H");
    EXPECT_EQ(traces[2].rate, 0.5);
    EXPECT_EQ(LittleEndianBytes(traces[2].samples), LittleEndianBytes(otherSamples));
}

TEST_F(ExportCommand, NamesThatDoNotFitARecordAreRefused) {
    HeaderFields longStation;
    longStation.station = "STATION";
    WriteArchiveFile(dir_ / "long", longStation, Ramp(10));
    HeaderFields spaced;
    spaced.channel = "  Z";
    WriteArchiveFile(dir_ / "spaced", spaced, Ramp(10));
    WriteArchiveFile(dir_ / "good", HeaderFields{}, Ramp(10));
    ProcessResult result = Run({"export", "good", "long", "spaced", "-o", "out.mseed"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "trq export: long: station \"STATION\" is 7 characters; a SEED record holds 1 to 5\n"
              "trq export: spaced: channel \"  Z\" holds a character other than A-Z, a-z and "
              "0-9\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mseed"));

    result = Run({"export", "good", "-o", "out.mseed", "--network", "ABC"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "trq export: --network \"ABC\" is 3 characters; a SEED record holds 1 to 2\n");
    result = Run({"export", "good", "-o", "out.mseed", "--record-length", "1000"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "trq export: --record-length 1000 is not a power of two from 256 to 65536\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mseed"));
}

// With the catalog, the start time is the row's TBEGIN with the fraction of a second that
// the converter took from the recorder header's milliseconds.
class ExportWithCatalog : public ConvertedArchive {
  protected:
    std::vector<std::string> ExportArgs(const std::string& output) {
        std::vector<std::string> args = {"export"};
        for (const char* channel : {"BHZ", "BHN", "BHE"}) {
            args.push_back(ArchivePath(std::string("ABC/22102013-134734-") + channel + ".ABC"));
        }
        args.insert(args.end(), {"-o", output});
        return args;
    }
};

TEST_F(ExportWithCatalog, StartTimeCarriesTheFractionOfTBEGIN) {
    plqgen::RecordingSpec spec = Recording(3000);
    spec.millisecond = 250;
    ASSERT_NO_FATAL_FAILURE(Convert(spec));
    std::vector<std::string> args = ExportArgs("out.mseed");
    const std::vector<std::string> login = CatalogArgs();
    args.insert(args.end(), login.begin(), login.end());
    const ProcessResult result = Trq(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");

    std::vector<ReadTrace> traces = ReadWithLibmseed(dir_ / "out.mseed");
    ASSERT_EQ(traces.size(), 3u);
    std::sort(traces.begin(), traces.end(),
              [](const ReadTrace& a, const ReadTrace& b) { return a.id < b.id; });
    const char* channels[] = {"BHE", "BHN", "BHZ"};
    const int numbers[] = {3, 2, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(channels[i]);
        EXPECT_EQ(traces[i].id, std::string("XX_ABC__") + channels[i]);
        EXPECT_EQ(traces[i].start,
                  static_cast<hptime_t>(k20131022_134734) * HPTMODULUS + HPTMODULUS / 4);
        ASSERT_EQ(traces[i].samples.size(), 3000u);
        for (int32_t s = 0; s < 3000; ++s) {
            ASSERT_EQ(traces[i].samples[static_cast<std::size_t>(s)],
                      DecodedValue(spec, numbers[i], s))
                << s;
        }
    }

    ASSERT_TRUE(std::filesystem::exists(kMseed2Sac));
    const std::vector<std::string> sacs = Mseed2Sac(dir_.Path(), "out.mseed", "sac");
    ASSERT_EQ(sacs.size(), 3u);
    for (const std::string& name : sacs) {
        EXPECT_EQ(ReadSac(dir_ / ("sac/" + name)).StartTime(), k20131022_134734 + 0.25) << name;
    }
}

// TBEGIN holds the seconds as the converter formed them in single precision: 34.123 s
// become 34.12300109863281 s. The export keeps them to the microsecond (Blockette 1001).
// PostgreSQL's driver gives the double back exactly; SQLite's gives 15 significant digits,
// which at present-day times is 10 microseconds.
class ExportWithPostgresCatalog : public ExportWithCatalog {
  protected:
    testsupport::TestCatalog MakeCatalog() override {
        return testsupport::MakePostgresCatalog(dir_);
    }
};

TEST_F(ExportWithPostgresCatalog, MicrosecondsOfTBEGINAreKept) {
    plqgen::RecordingSpec spec = Recording(100);
    spec.millisecond = 123;
    ASSERT_NO_FATAL_FAILURE(Convert(spec));
    std::vector<std::string> args = ExportArgs("out.mseed");
    const std::vector<std::string> login = CatalogArgs();
    args.insert(args.end(), login.begin(), login.end());
    const ProcessResult result = Trq(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<ReadTrace> traces = ReadWithLibmseed(dir_ / "out.mseed");
    ASSERT_EQ(traces.size(), 3u);
    for (const ReadTrace& trace : traces) {
        EXPECT_EQ(trace.start, 1382449654123001) << trace.id;
    }
}

TEST_F(ExportWithCatalog, RowsThatDoNotGiveTheStartAreRefused) {
    ASSERT_NO_FATAL_FAILURE(Convert(Recording(100)));
    testsupport::ExecuteSql(catalog_, "DELETE FROM FILELIST WHERE CH='BHN'");
    testsupport::ExecuteSql(catalog_, "UPDATE FILELIST SET TBEGIN=TBEGIN+1 WHERE CH='BHE'");
    std::vector<std::string> args = ExportArgs("out.mseed");
    const std::vector<std::string> login = CatalogArgs();
    args.insert(args.end(), login.begin(), login.end());
    const ProcessResult result = Trq(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "trq export: " + ArchivePath("ABC/22102013-134734-BHN.ABC") +
                  ": no FILELIST row with CPATH ABC\\22102013-134734-BHN.ABC\n"
                  "trq export: " +
                  ArchivePath("ABC/22102013-134734-BHE.ABC") +
                  ": TBEGIN 2013-10-22 13:47:35.000000 of CPATH ABC\\22102013-134734-BHE.ABC is "
                  "not within the header's start second 2013-10-22 13:47:34 (trq check shows "
                  "the catalog's differences)\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mseed"));

    const ProcessResult unknown = Trq({"export", ArchivePath("ABC/22102013-134734-BHZ.ABC"), "-o",
                                       "out.mseed", "--dsn", "NOSUCHDSN"});
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_EQ(unknown.err.rfind("trq export: catalog NOSUCHDSN: ", 0), 0u) << unknown.err;
}

}  // namespace
