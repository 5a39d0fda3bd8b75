// Two archive writers filling the same station and channel from the same recording, as two
// converters started on the same file do. Every order in which their flushes can follow
// each other is played through in one process, with a catalog stand-in that keeps one row
// per path: whatever the order, no archive file may hold samples that are not the
// recording's at their place, every file must have the row that describes it, and the file
// of the first block must end complete.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "tests/endtoend/EndToEndSupport.h"
#include "tests/support/ConsoleLines.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kRate = 100;
constexpr int32_t kChunk = 5000;             // samples per AddSamples call: one block each
constexpr int kChunks = 4;                   // blocks per writer
constexpr EpochSeconds kStart = 1382449654;  // 2013-10-22 13:47:34
const std::string kFirstFile = "ABC/22102013-134734-SHZ.ABC";

// The catalog as FILELIST keeps it: one row per path; a new file replaces the row of its
// path, an extended file updates it (or adds it when it is missing).
class RowPerPath : public CatalogRegistrar {
  public:
    RegistrationOutcome Register(RegistrationKind, const FileRegistration& file) override {
        std::string path = file.path;
        for (char& c : path) {
            if (c == '\\') c = '/';
        }
        rows[path] = file;
        return RegistrationOutcome::kRegistered;
    }
    const std::string& CreatorName() const override { return creator_; }
    std::map<std::string, FileRegistration> rows;

  private:
    std::string creator_ = "PLQ2TRQ";
};

// Sample k of the recording.
float RecordingSample(int64_t k) {
    return static_cast<float>(k);
}

// One writer and the steps it takes: kChunks calls of AddSamples, then FlushAll.
class ScriptedWriter {
  public:
    ScriptedWriter(const std::string& dataDir, RowPerPath& rows) : writer_(rows) {
        writer_.SetDataDir(dataDir.c_str());
        samples_.resize(static_cast<std::size_t>(kChunk) * kChunks);
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            samples_[i] = RecordingSample(static_cast<int64_t>(i));
        }
    }
    static constexpr int kSteps = kChunks + 1;
    void Step() {
        if (next_ < kChunks) {
            writer_.AddSamples("ABC", "SHZ", kRate, kStart + next_ * (kChunk / kRate), kChunk,
                               samples_.data() + static_cast<std::ptrdiff_t>(next_) * kChunk);
        } else {
            writer_.FlushAll();
        }
        ++next_;
    }

  private:
    CArchiveWriter writer_;
    std::vector<float> samples_;
    int next_ = 0;
};

// Every way of merging two sequences of `steps` steps each: true = the first writer steps.
void Orders(int first, int second, std::vector<bool>& prefix, std::vector<std::vector<bool>>& out) {
    if (first == 0 && second == 0) {
        out.push_back(prefix);
        return;
    }
    for (bool takeFirst : {true, false}) {
        if ((takeFirst ? first : second) == 0) continue;
        prefix.push_back(takeFirst);
        Orders(first - (takeFirst ? 1 : 0), second - (takeFirst ? 0 : 1), prefix, out);
        prefix.pop_back();
    }
}

std::string Describe(const std::vector<bool>& order) {
    std::string text;
    for (bool first : order) text += first ? 'A' : 'B';
    return text;
}

TEST(InterleavedWriters, EveryOrderOfFlushesLeavesWholeFilesAndTheirRows) {
    std::vector<std::vector<bool>> orders;
    std::vector<bool> prefix;
    Orders(ScriptedWriter::kSteps, ScriptedWriter::kSteps, prefix, orders);
    ASSERT_EQ(orders.size(), 252u);  // 10 steps, 5 of them the first writer's

    for (const auto& order : orders) {
        SCOPED_TRACE(Describe(order));
        testsupport::TempDir dir;
        const std::string dataDir = dir / "data";
        std::filesystem::create_directory(dataDir);
        RowPerPath rows;
        ScriptedWriter a(dataDir, rows);
        ScriptedWriter b(dataDir, rows);
        testsupport::ConsoleLines console;
        for (bool first : order) (first ? a : b).Step();
        // The only messages are the write errors of blocks a writer had to give up.
        const std::string printed = console.out;
        for (std::size_t at = 0; at < printed.size(); at = printed.find('\n', at) + 1) {
            EXPECT_EQ(printed.compare(at, 18, "ERROR: write file "), 0) << printed;
        }

        std::map<std::string, std::size_t> files;  // path -> samples
        for (const auto& entry : std::filesystem::directory_iterator(dataDir + "/ABC")) {
            const std::string relative = "ABC/" + entry.path().filename().string();
            const std::string contents = testsupport::ReadFile(entry.path().string());
            const std::vector<float> samples = endtoend::ArchiveSamples(contents);
            ASSERT_EQ(contents.size(), 512 + samples.size() * 4) << relative;
            int hour, minute, second;
            ASSERT_EQ(
                std::sscanf(relative.c_str(), "ABC/22102013-%2d%2d%2d", &hour, &minute, &second),
                3);
            const int64_t first = static_cast<int64_t>(
                ((hour - 13) * 3600 + (minute - 47) * 60 + second - 34) * kRate);
            std::size_t wrong = 0;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                if (samples[i] != RecordingSample(first + static_cast<int64_t>(i))) ++wrong;
            }
            EXPECT_EQ(wrong, 0u) << relative << ": samples not at their place";
            files[relative] = samples.size();
        }
        EXPECT_EQ(files[kFirstFile], static_cast<std::size_t>(kChunk) * kChunks);
        // One row per file, describing it; no row without its file.
        ASSERT_EQ(rows.rows.size(), files.size());
        for (const auto& [path, count] : files) {
            ASSERT_EQ(rows.rows.count(path), 1u) << path;
            EXPECT_EQ(rows.rows[path].duration, static_cast<double>(count) / kRate) << path;
        }
    }
}

}  // namespace
