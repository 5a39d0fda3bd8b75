#pragma once
// Shared pieces of the archive writer tests: a registrar that records what the writer
// tells the catalog, sample and byte helpers, and a writer on a temporary data directory.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "tests/support/TempDir.h"

// FileRegistration lives in the global namespace, so do its comparison and printer (found
// by argument-dependent lookup from GoogleTest's assertions).
inline bool operator==(const FileRegistration& a, const FileRegistration& b) {
    return a.path == b.path && a.station == b.station && a.channel == b.channel &&
           a.start == b.start && a.duration == b.duration && a.rate == b.rate && a.gain == b.gain &&
           a.dataType == b.dataType;
}

inline void PrintTo(const FileRegistration& f, std::ostream* os) {
    *os << "{" << f.path << ", " << f.station << ", " << f.channel << ", " << std::fixed << f.start
        << ", " << f.duration << ", " << f.rate << ", " << f.gain << ", " << f.dataType << "}";
}

namespace archivetest {

// 2012-03-05 07:08:09 and 2013-10-22 13:47:34, seconds since 1970 (no time zone).
inline constexpr EpochSeconds k20120305_070809 = 1330931289.0;
inline constexpr EpochSeconds k20131022_134734 = 1382449654.0;

struct Registration {
    enum Kind { New, Extended } kind;
    FileRegistration file;
};

class RecordingRegistrar : public CatalogRegistrar {
  public:
    RegistrationOutcome Register(RegistrationKind kind, const FileRegistration& file) override {
        calls.push_back(
            {kind == RegistrationKind::kNewFile ? Registration::New : Registration::Extended,
             file});
        return answer;
    }
    const std::string& CreatorName() const override { return creator; }
    std::vector<Registration> calls;
    RegistrationOutcome answer = RegistrationOutcome::kRegistered;
    std::string creator = "PLQ2TRQ";
};

// A writer on a fresh data directory "<temp>/data", registering into `registrar`.
struct WriterFixture {
    WriterFixture() {
        std::filesystem::create_directory(DataDir());
        writer.SetDataDir(DataDir().c_str());
    }
    std::string DataDir() const { return dir / "data"; }
    // Full path of a file given relative to the data directory with "/".
    std::string PathOf(const std::string& relative) const { return DataDir() + "/" + relative; }
    // Every regular file below the data directory, relative to it, sorted.
    std::set<std::string> Files() const {
        std::set<std::string> files;
        for (auto& entry : std::filesystem::recursive_directory_iterator(DataDir())) {
            if (entry.is_regular_file()) {
                files.insert(std::filesystem::relative(entry.path(), DataDir()).string());
            }
        }
        return files;
    }
    testsupport::TempDir dir;
    RecordingRegistrar registrar;
    CArchiveWriter writer{registrar};
};

// `count` distinct samples: first, first + 1, ...
inline std::vector<float> Ramp(std::size_t count, float first = 0) {
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = first + static_cast<float>(i);
    return samples;
}

// The samples as they lie in an archive file: float32 little-endian, written out byte by byte
// from the bit pattern (independent of the machine's byte order).
inline std::string LittleEndianBytes(const std::vector<float>& samples) {
    std::string bytes;
    for (float value : samples) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(bits >> shift);
    }
    return bytes;
}

// Samples [from, from + count) of `samples`.
inline std::vector<float> Slice(const std::vector<float>& samples, std::size_t from,
                                std::size_t count) {
    return std::vector<float>(samples.begin() + from, samples.begin() + from + count);
}

// The header text padded as an archive file carries it: text, NUL, spaces up to 512 bytes.
inline std::string PaddedHeader(const std::string& text) {
    std::string header = text;
    header += '\0';
    header.resize(512, ' ');
    return header;
}

}  // namespace archivetest
