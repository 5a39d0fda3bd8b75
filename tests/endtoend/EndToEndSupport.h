#pragma once
// Shared pieces of the end-to-end suite: a working directory with a catalog, an archive
// directory and a plq2trq.ini; converter runs (also several at once); and the check that an
// archive holds exactly the samples of the recordings it was made from.

#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "recorder/Calendar.h"
#include "testing/PlqGenerator.h"
#include "tests/support/Catalog.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

namespace endtoend {

using testsupport::ProcessResult;

// Exit codes as the shell sees them (the low 8 bits of the negative codes).
inline constexpr int kConverted = 0;
inline constexpr int kDatabase = 253;      // -3
inline constexpr int kOpenFile = 252;      // -4
inline constexpr int kReadFile = 251;      // -5
inline constexpr int kNotPlq = 250;        // -6
inline constexpr int kArchiveWrite = 248;  // -8
inline constexpr int kCatalog = 247;       // -9

inline const std::string kBanner = "PLQ2TRQ v1.0\nLoad parameters...\n";

// True when the system's trq.ini exists: it would supply settings the tests leave unset.
inline bool SystemTrqIniExists() {
    return std::filesystem::exists(std::string(PLQ_SYSCONFDIR) + "/trq.ini");
}

// The typical hour as the tests convert it: three channels of 360,000 samples at 100 sps
// from 2013-10-22 13:47:34, stored as plain 32-bit integers of a ramp, so that every decoded
// value is exact and tells its channel and position.
inline plqgen::RecordingSpec TypicalHour() {
    plqgen::RecordingSpec spec;
    spec.sampleFormat = 2;
    spec.signal = plqgen::Signal::Ramp;
    return spec;
}

// Channel names of the test ini's CHANNELMAP, by channel number - 1.
inline const std::vector<std::string> kChannelNames = {"BHZ", "BHN", "BHE"};

// The text of a plq2trq.ini for `catalog` (no DATABASE section when `catalog` is null),
// archive directory `dataDir` and the channel map BHZ, BHN, BHE.
inline std::string IniText(const testsupport::TestCatalog* catalog, const std::string& dataDir) {
    std::string text;
    if (catalog != nullptr) {
        text += "[DATABASE]\nODBC=" + catalog->dsn + "\nUSER=" + catalog->user +
                "\nPASSWORD=" + catalog->password + "\n";
    }
    text += "[DATA]\nDIR=" + dataDir + "\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n";
    return text;
}

// Runs the converter in `workDir` with `env`.
inline ProcessResult Convert(const std::string& workDir, const std::string& recording,
                             const std::string& station,
                             const std::map<std::string, std::string>& env) {
    return testsupport::RunProcess(testsupport::ConverterPath(), {recording, station}, workDir,
                                   env);
}

// One converter run of a batch started at once.
struct RunRequest {
    std::string workDir;
    std::string recording;
    std::string station;
    std::map<std::string, std::string> env;
};

// Starts every run in a thread of its own; the threads wait for each other so that the
// converters start as close together as the system allows. Returns the results in order.
inline std::vector<ProcessResult> ConvertAtOnce(const std::vector<RunRequest>& requests) {
    std::vector<ProcessResult> results(requests.size());
    std::barrier start(static_cast<std::ptrdiff_t>(requests.size()));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            const RunRequest& r = requests[i];
            results[i] = Convert(r.workDir, r.recording, r.station, r.env);
        });
    }
    for (auto& thread : threads) thread.join();
    return results;
}

// The samples of an archive file as floats (little-endian float32 after the 512-byte header).
inline std::vector<float> ArchiveSamples(const std::string& contents) {
    std::vector<float> samples;
    for (std::size_t offset = 512; offset + 4 <= contents.size(); offset += 4) {
        uint32_t bits = 0;
        for (int i = 3; i >= 0; --i) {
            bits = (bits << 8) | static_cast<unsigned char>(contents[offset + i]);
        }
        float value;
        std::memcpy(&value, &bits, sizeof value);
        samples.push_back(value);
    }
    return samples;
}

// The header text an archive file of the typical recording starts with, padded to 512 bytes.
inline std::string ExpectedHeader(const std::string& timeLine, const std::string& dateLine,
                                  const std::string& station, const std::string& channel) {
    std::string header = "[TRQ5.x]\r\nData offset=512\r\nStart time=" + timeLine +
                         "\r\nStart date=" + dateLine +
                         "\r\nTime duration=00 00 00\r\nData Type=FLOAT\r\nSpS=100.000000\r\n"
                         "Gain=1\r\nStation=" +
                         station + "\r\nChannels=\"" + channel + "\"\r\n";
    header += '\0';
    header.resize(512, ' ');
    return header;
}

// What one archive file of a station holds, read back and checked against the recording.
struct ArchiveFileState {
    std::string relativePath;  // "STA/ddmmyyyy-hhmmss-CHN.STA"
    EpochSeconds start = 0;    // from the file name
    std::size_t sampleCount = 0;
};

// Checks every file below <archiveDir>/<station> against `spec` (a Ramp recording at
// 100 sps whose channels are named kChannelNames): a name of the archive's pattern, the
// header for that name, and as samples exactly the recording's samples from the file's
// start on, none missing in between, none doubled, none out of place. Returns the files.
inline std::vector<ArchiveFileState> CheckStationArchive(const std::string& archiveDir,
                                                         const std::string& station,
                                                         const plqgen::RecordingSpec& spec) {
    std::vector<ArchiveFileState> files;
    const int widenedYear =
        spec.year >= 100 ? spec.year : spec.year + (spec.year <= 90 ? 2000 : 1900);
    const EpochSeconds recordingStart =
        DateToEpochSeconds(widenedYear, spec.month, spec.day, spec.hour, spec.minute, spec.second);
    const std::filesystem::path stationDir = std::filesystem::path(archiveDir) / station;
    if (!std::filesystem::exists(stationDir)) return files;
    std::set<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(stationDir)) {
        // The station's lock, and the journal of a run that could not register everything.
        const std::string name = entry.path().filename().string();
        if (name != ".plq2trq.lock" && name != ".plq2trq.journal") paths.insert(entry.path());
    }
    for (const auto& path : paths) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
        char channel[32] = {};
        char suffix[64] = {};
        const bool parsed =
            std::sscanf(name.c_str(), "%2d%2d%4d-%2d%2d%2d-%31[^.].%63s", &day, &month, &year,
                        &hour, &minute, &second, channel, suffix) == 8;
        EXPECT_TRUE(parsed);
        EXPECT_EQ(std::string(suffix), station);
        if (!parsed) continue;
        int channelNumber = 0;
        for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
            if (kChannelNames[i] == channel) channelNumber = static_cast<int>(i) + 1;
        }
        EXPECT_NE(channelNumber, 0) << channel;
        if (channelNumber == 0) continue;

        const std::string contents = testsupport::ReadFile(path.string());
        EXPECT_GE(contents.size(), 512u);
        EXPECT_EQ((contents.size() - 512) % 4, 0u);
        char timeLine[16], dateLine[16];
        std::snprintf(timeLine, sizeof timeLine, "%02d %02d %02d", hour, minute, second);
        std::snprintf(dateLine, sizeof dateLine, "%02d %02d %04d", day, month, year);
        EXPECT_EQ(contents.substr(0, 512), ExpectedHeader(timeLine, dateLine, station, channel));

        ArchiveFileState state;
        state.relativePath = station + "/" + name;
        state.start =
            DateToEpochSeconds(year, month, day, hour, minute, static_cast<float>(second));
        const std::vector<float> samples = ArchiveSamples(contents);
        state.sampleCount = samples.size();
        const double offset = (state.start - recordingStart) * spec.samplesPerSecond;
        EXPECT_EQ(offset, std::floor(offset));
        EXPECT_GE(offset, 0.0);
        EXPECT_LE(offset + static_cast<double>(samples.size()), spec.samplesPerChannel);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto index = static_cast<int32_t>(offset + static_cast<double>(i));
            if (samples[i] != static_cast<float>(plqgen::RawSample(spec, channelNumber, index))) {
                ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0u) << "samples that are not the recording's at their place";
        files.push_back(state);
    }
    return files;
}

// The catalog's rows for `station` as (CPATH with '/' for '\', TBEGIN, TQTY), by CPATH.
struct CatalogRow {
    std::string path;
    double start = 0;
    double duration = 0;
    bool operator==(const CatalogRow&) const = default;
};

inline std::vector<CatalogRow> StationRows(const testsupport::TestCatalog& catalog,
                                           const std::string& station) {
    std::vector<CatalogRow> rows;
    for (const auto& row :
         testsupport::QueryRows(catalog, "SELECT CPATH,TBEGIN,TQTY FROM FILELIST WHERE STA='" +
                                             station + "' ORDER BY CPATH")) {
        CatalogRow entry{row.at(0), std::stod(row.at(1)), std::stod(row.at(2))};
        for (char& c : entry.path) {
            if (c == '\\') c = '/';
        }
        rows.push_back(entry);
    }
    return rows;
}

// The rows the catalog must hold for `files`: one per file, with its start and the time
// its samples cover at 100 sps.
inline std::vector<CatalogRow> RowsFor(std::vector<ArchiveFileState> files) {
    std::vector<CatalogRow> rows;
    for (const auto& file : files) {
        rows.push_back(
            {file.relativePath, file.start, static_cast<double>(file.sampleCount) / 100});
    }
    std::sort(rows.begin(), rows.end(),
              [](const CatalogRow& a, const CatalogRow& b) { return a.path < b.path; });
    return rows;
}

inline void PrintTo(const CatalogRow& row, std::ostream* os) {
    *os << "{" << row.path << ", " << std::fixed << row.start << ", " << row.duration << "}";
}

// A working directory for converter runs: an SQLite catalog with data source TRQ, an
// archive directory "archive" and a plq2trq.ini naming both (with the channel map).
class Workspace {
  public:
    Workspace() {
        catalog_ = testsupport::MakeSqliteCatalog(dir_);
        env_ = catalog_.env;
        std::filesystem::create_directories(ArchiveDir());
        WriteIni(IniText(&catalog_, ArchiveDir()));
    }

    const testsupport::TempDir& Dir() const { return dir_; }
    std::string ArchiveDir() const { return dir_ / "archive"; }
    const testsupport::TestCatalog& Catalog() const { return catalog_; }
    const std::map<std::string, std::string>& Env() const { return env_; }
    std::map<std::string, std::string>& Env() { return env_; }
    void WriteIni(const std::string& text) const {
        testsupport::WriteFile(dir_ / "plq2trq.ini", text);
    }
    void WriteRecording(const std::string& name, const plqgen::RecordingSpec& spec) const {
        plqgen::WriteRecording(dir_ / name, spec);
    }

    ProcessResult Run(const std::string& recording, const std::string& station = "ABC") const {
        return Convert(dir_.Path(), recording, station, env_);
    }

    // The lines up to "Convert file ...", for the workspace's own ini.
    std::string ConnectedLines() const { return ConnectedLines(ArchiveDir()); }
    std::string ConnectedLines(const std::string& dataDir) const {
        return kBanner + "Connect to DB:DSN=" + catalog_.dsn + ";UID=" + catalog_.user +
               ";PWD=***; DATA=" + dataDir + "...\n";
    }

    // Every regular file below the archive directory, relative to it.
    std::set<std::string> ArchiveFiles() const { return FilesBelow(ArchiveDir()); }
    static std::set<std::string> FilesBelow(const std::string& dir) {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            if (entry.is_regular_file() && entry.path().filename() != ".plq2trq.lock") {
                files.insert(std::filesystem::relative(entry.path(), dir).string());
            }
        }
        return files;
    }
    std::string RowCount() const {
        return testsupport::QueryRows(catalog_, "SELECT COUNT(*) FROM FILELIST").at(0).at(0);
    }

  private:
    testsupport::TempDir dir_;
    testsupport::TestCatalog catalog_;
    std::map<std::string, std::string> env_;
};

// The console lines of the header dump for `spec`.
inline std::string HeaderDump(const plqgen::RecordingSpec& spec) {
    char data[128];
    const int year = spec.year >= 100 ? spec.year : spec.year + (spec.year <= 90 ? 2000 : 1900);
    std::snprintf(data, sizeof data, "%4d  %2d  %2d | %02d-%02d-%02d | %3d %2d  %2d  %d", year,
                  spec.month, spec.day, spec.hour, spec.minute, spec.second, spec.samplesPerSecond,
                  spec.channelCount, spec.sampleFormat, spec.samplesPerChannel);
    return "System => " + spec.systemName.substr(0, 36) +
           "\nyear mnt day |  h-mi-s  | sps nch form nsamp\n" + data + "\n";
}

}  // namespace endtoend
