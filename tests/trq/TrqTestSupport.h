#pragma once
// Shared pieces of the toolkit tests: running `trq` and `plq2trq` in a temporary
// directory, archive files written byte by byte by a small local writer, and archives
// written by the converter itself from generated recordings into an SQLite catalog.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"
#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

namespace trqtest {

using testsupport::ProcessResult;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

inline const char* TrqPath() {
    return TRQ_EXE;
}

// 2012-03-05 07:08:09 and 2013-10-22 13:47:34, seconds since 1970-01-01 UTC.
inline constexpr double k20120305_070809 = 1330931289.0;
inline constexpr double k20131022_134734 = 1382449654.0;

// What the local writer puts into an archive header.
struct HeaderFields {
    int hour = 7, minute = 8, second = 9;
    int day = 5, month = 3, year = 2012;
    double rate = 100;
    std::string station = "ABC";
    std::string channel = "SHZ";
};

// The ten header lines, each ending in CR LF, as the archive format prescribes.
inline std::string HeaderText(const HeaderFields& f) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "[TRQ5.x]\r\nData offset=512\r\nStart time=%02d %02d %02d\r\n"
                  "Start date=%02d %02d %04d\r\nTime duration=00 00 00\r\nData Type=FLOAT\r\n"
                  "SpS=%f\r\nGain=1\r\nStation=%s\r\nChannels=\"%s\"\r\n",
                  f.hour, f.minute, f.second, f.day, f.month, f.year, f.rate, f.station.c_str(),
                  f.channel.c_str());
    return text;
}

// The header text padded as an archive file carries it: text, NUL, spaces up to 512 bytes.
inline std::string PaddedHeader(const std::string& text) {
    std::string header = text;
    header += '\0';
    header.resize(512, ' ');
    return header;
}

// Samples as float32 little-endian, byte by byte from the bit pattern.
inline std::string LittleEndianBytes(const std::vector<float>& samples) {
    std::string bytes;
    for (float value : samples) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(bits >> shift);
    }
    return bytes;
}

// Writes a complete archive file; creates the directories on the way.
inline void WriteArchiveFile(const std::string& path, const HeaderFields& fields,
                             const std::vector<float>& samples) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, PaddedHeader(HeaderText(fields)) + LittleEndianBytes(samples));
}

// `count` samples first, first + step, ...
inline std::vector<float> Ramp(std::size_t count, float first = 0, float step = 1) {
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = first + step * static_cast<float>(i);
    return samples;
}

// Runs trq in `workDir`; its temporary files go there too.
inline ProcessResult RunTrq(const std::vector<std::string>& args, const std::string& workDir,
                            std::map<std::string, std::string> env = {}) {
    env["TMPDIR"] = workDir;
    return testsupport::RunProcess(TrqPath(), args, workDir, env);
}

// The value the converter decodes from the generator's raw value (the archive's sample).
inline float DecodedValue(const plqgen::RecordingSpec& spec, int channel, int32_t index) {
    const int32_t raw = plqgen::RawSample(spec, channel, index);
    if (spec.sampleFormat == 0) {
        const auto word = static_cast<uint16_t>(raw);
        const double magnitude = word & 0x3FF;
        const double value = magnitude * static_cast<double>(1 << ((word >> 10) & 7));
        return static_cast<float>((word & 0x8000) ? -value : value);
    }
    if (spec.sampleFormat == 1) return static_cast<float>(-static_cast<double>(raw));
    return static_cast<float>(raw);
}

// A working directory with an SQLite catalog, an archive directory and a plq2trq.ini naming
// both, in which the converter turns generated recordings into archive files and rows.
class ConvertedArchive : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::filesystem::exists(std::string(PLQ_SYSCONFDIR) + "/trq.ini")) {
            GTEST_SKIP() << "a system trq.ini would change the settings of the run";
        }
        catalog_ = MakeCatalog();
        std::filesystem::create_directories(ArchiveDir());
        WriteFile(dir_ / "plq2trq.ini",
                  "[DATABASE]\nODBC=" + catalog_.dsn + "\nUSER=" + catalog_.user +
                      "\nPASSWORD=" + catalog_.password + "\n[DATA]\nDIR=" + ArchiveDir() +
                      "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n");
    }

    virtual testsupport::TestCatalog MakeCatalog() { return testsupport::MakeSqliteCatalog(dir_); }

    std::string ArchiveDir() const { return dir_ / "archive"; }
    // Archive file path below the data directory ("ABC/22102013-134734-BHZ.ABC").
    std::string ArchivePath(const std::string& relative) const {
        return ArchiveDir() + "/" + relative;
    }

    // Ramp samples stored as 32-bit integers: every decoded value is exact.
    static plqgen::RecordingSpec Recording(int32_t samplesPerChannel) {
        plqgen::RecordingSpec spec;
        spec.samplesPerChannel = samplesPerChannel;
        spec.sampleFormat = 2;
        spec.signal = plqgen::Signal::Ramp;
        return spec;
    }

    // Writes the recording as `name` and converts it for `station`; fails the test unless
    // the converter ends with `expectedExit` (as the shell sees it).
    void Convert(const plqgen::RecordingSpec& spec, const std::string& station = "ABC",
                 const std::string& name = "rec.plq", int expectedExit = 0) {
        plqgen::WriteRecording(dir_ / name, spec);
        const ProcessResult result = testsupport::RunProcess(
            testsupport::ConverterPath(), {name, station}, dir_.Path(), catalog_.env);
        ASSERT_EQ(result.exitCode, expectedExit) << result.out;
    }

    ProcessResult Trq(const std::vector<std::string>& args) {
        return RunTrq(args, dir_.Path(), catalog_.env);
    }

    // --dsn, --user and --password of the catalog, for trq.
    std::vector<std::string> CatalogArgs() const {
        std::vector<std::string> args{"--dsn", catalog_.dsn};
        if (!catalog_.user.empty()) args.insert(args.end(), {"--user", catalog_.user});
        if (!catalog_.password.empty()) {
            args.insert(args.end(), {"--password", catalog_.password});
        }
        return args;
    }

    std::vector<std::vector<std::string>> Rows(const std::string& columns =
                                                   "CPATH,STA,CH,TBEGIN,TQTY,SPS,GAIN,"
                                                   "DATATYPE,CREATER,FOFF") {
        return testsupport::QueryRows(catalog_,
                                      "SELECT " + columns + " FROM FILELIST ORDER BY CPATH");
    }

    TempDir dir_;
    testsupport::TestCatalog catalog_;
};

}  // namespace trqtest
