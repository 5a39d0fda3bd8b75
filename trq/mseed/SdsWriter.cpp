#include "trq/mseed/SdsWriter.h"

#include <libmseed.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <vector>

#include "archive/FileChecksum.h"
#include "catalog/WindowSamples.h"
#include "recorder/UtcTime.h"

namespace trq {

namespace {

constexpr int64_t kDay = 86400LL * 1000000;

int64_t DayStart(int64_t time) {
    return time - ((time % kDay) + kDay) % kDay;
}

struct StoredRecord {
    int64_t start = 0, end = 0;  // of its samples: the first, and one period past the last
    std::string bytes;
};

void Quiet(char*) {}

// The record at the start of `bytes`, or nothing when there is none.
std::optional<StoredRecord> ParseRecord(const char* bytes, std::size_t length) {
    ms_loginit(&Quiet, nullptr, &Quiet, nullptr);  // libmseed reports through our errors only
    MSRecord* msr = nullptr;
    const int parsed =
        msr_parse(const_cast<char*>(bytes), static_cast<int>(length), &msr, -1, 0, 0);
    std::optional<StoredRecord> record;
    if (parsed == MS_NOERROR && msr != nullptr && msr->reclen > 0 &&
        static_cast<std::size_t>(msr->reclen) <= length) {
        record =
            StoredRecord{msr->starttime, SampleTime(msr->starttime, msr->samprate, msr->samplecnt),
                         std::string(bytes, static_cast<std::size_t>(msr->reclen))};
    }
    msr_free(&msr);
    return record;
}

// The records of an existing day file, in file order.
std::vector<StoredRecord> ReadDayFile(const std::string& path) {
    std::vector<StoredRecord> records;
    std::ifstream file(path, std::ios::binary);
    if (!file) return records;
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    for (std::size_t at = 0; at < bytes.size();) {
        std::optional<StoredRecord> record = ParseRecord(bytes.data() + at, bytes.size() - at);
        if (!record) {
            throw std::runtime_error("reading " + path + ": no miniSEED record at byte " +
                                     std::to_string(at));
        }
        at += record->bytes.size();
        records.push_back(std::move(*record));
    }
    return records;
}

bool Covered(const std::vector<StoredRecord>& records, int64_t time) {
    return std::any_of(records.begin(), records.end(),
                       [&](const StoredRecord& r) { return time >= r.start && time < r.end; });
}

}  // namespace

SdsWriter::SdsWriter(std::string root, int recordLength)
    : root_(std::move(root)), recordLength_(recordLength) {}

std::string SdsWriter::DayFilePath(const std::string& root, const MiniSeedTrace& trace,
                                   int64_t dayTime) {
    const CivilTime day = EpochSecondsToCivil(DayStart(dayTime) / 1000000);
    const int dayOfYear = static_cast<int>(
        (DayStart(dayTime) / 1000000 - CivilToEpochSeconds({day.year, 1, 1, 0, 0, 0})) / 86400 + 1);
    char name[64];
    std::snprintf(name, sizeof name, ".D.%04d.%03d", day.year, dayOfYear);
    const std::string year = std::to_string(day.year);
    return root + "/" + year + "/" + trace.network + "/" + trace.station + "/" + trace.channel +
           ".D/" + trace.network + "." + trace.station + "." + trace.location + "." +
           trace.channel + name;
}

std::string SdsWriter::Summary(std::string_view) const {
    return "wrote below " + root_ + ": " + std::to_string(records_) + " records, " +
           std::to_string(samples_) + " samples into " + std::to_string(files_.size()) +
           " day files";
}

void SdsWriter::Write(const MiniSeedTrace& trace) {
    std::size_t first = 0;
    while (first < trace.samples.size()) {
        const int64_t start =
            SampleTime(trace.startMicroseconds, trace.sampleRate, static_cast<int64_t>(first));
        const int64_t midnight = DayStart(start) + kDay;
        std::size_t end = first;
        while (end < trace.samples.size() && SampleTime(trace.startMicroseconds, trace.sampleRate,
                                                        static_cast<int64_t>(end)) < midnight) {
            ++end;
        }
        MiniSeedTrace part = trace;
        part.startMicroseconds = start;
        part.samples = trace.samples.subspan(first, end - first);
        WriteDay(part);
        first = end;
    }
}

void SdsWriter::WriteDay(const MiniSeedTrace& part) {
    const std::string path = DayFilePath(root_, part, part.startMicroseconds);
    std::vector<StoredRecord> records = ReadDayFile(path);
    const std::size_t kept = records.size();
    // The samples the file lacks, as runs of their own.
    std::size_t first = 0;
    while (first < part.samples.size()) {
        const auto timeOf = [&](std::size_t i) {
            return SampleTime(part.startMicroseconds, part.sampleRate, static_cast<int64_t>(i));
        };
        if (Covered(records, timeOf(first))) {
            ++first;
            continue;
        }
        std::size_t end = first + 1;
        while (end < part.samples.size() && !Covered(records, timeOf(end))) ++end;
        MiniSeedTrace run = part;
        run.startMicroseconds = timeOf(first);
        run.samples = part.samples.subspan(first, end - first);
        samples_ += static_cast<int64_t>(run.samples.size());
        PackMiniSeed(run, recordLength_, [&](const char* bytes, std::size_t length) {
            std::optional<StoredRecord> record = ParseRecord(bytes, length);
            if (!record) throw std::runtime_error("libmseed made a record it cannot read");
            records.push_back(std::move(*record));
        });
        first = end;
    }
    if (records.size() == kept) return;
    records_ += static_cast<int64_t>(records.size() - kept);
    files_.insert(path);
    std::stable_sort(
        records.begin(), records.end(),
        [](const StoredRecord& a, const StoredRecord& b) { return a.start < b.start; });
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string temporary = path + ".part";
    ChecksumBuilder hash;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const StoredRecord& record : records) {
            out << record.bytes;
            hash.Add(record.bytes.data(), record.bytes.size());
        }
        if (!out.flush()) {
            throw std::runtime_error("writing " + temporary + " failed: " + std::strerror(errno));
        }
    }
    std::filesystem::rename(temporary, path);
    written_[path.substr(root_.size() + 1)] = hash.Checksum().fileHash;
}

SdsWriter::~SdsWriter() {
    try {
        WriteManifest();
    } catch (const std::exception&) {
        // The export has failed already, and says so.
    }
}

std::string SdsWriter::ManifestName() {
    return std::string("manifest-") + kChecksumAlgorithm + ".txt";
}

void SdsWriter::WriteManifest() {
    if (written_.empty()) return;
    const std::string path = root_ + "/" + ManifestName();
    std::map<std::string, std::string> lines;  // by path
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const std::size_t blank = line.find("  ");
        if (blank != std::string::npos) lines[line.substr(blank + 2)] = line.substr(0, blank);
    }
    for (const auto& [file, hash] : written_) lines[file] = hash;
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [file, hash] : lines) out << hash << "  " << file << "\n";
        if (!out.flush()) {
            throw std::runtime_error("writing " + temporary + " failed: " + std::strerror(errno));
        }
    }
    std::filesystem::rename(temporary, path);
    written_.clear();
}

}  // namespace trq
