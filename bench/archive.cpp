// Archive writer throughput: a typical hour of three channels written to a temporary data
// directory, small chunks merged into blocks, and the header composition alone.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ArchiveText.h"
#include "archive/ArchiveWriter.h"

namespace {

// Registrations are accepted and forgotten: only the archive files are measured.
class NullRegistrar : public CatalogRegistrar {
  public:
    RegistrationOutcome Register(RegistrationKind, const FileRegistration&) override {
        return RegistrationOutcome::kRegistered;
    }
    const std::string& CreatorName() const override { return name_; }

  private:
    std::string name_ = "PLQ2TRQ";
};

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "plq-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

constexpr EpochSeconds kStart = 1382449654.0;  // 2013-10-22 13:47:34

// Three channels of 360,000 samples at 100 sps: 216 flushes, three files of 1.44 MB.
void BM_TypicalHour(benchmark::State& state) {
    ScratchDir dir;
    NullRegistrar registrar;
    std::vector<float> samples(360000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 4096);
    for (auto _ : state) {
        CArchiveWriter writer(registrar);
        writer.SetDataDir(dir.Path().c_str());
        for (const char* channel : {"BHZ", "BHN", "BHE"}) {
            writer.AddSamples("ABC", channel, 100, kStart, 360000, samples.data());
        }
        writer.FlushAll();
    }
    state.SetBytesProcessed(state.iterations() * 3 * 360000 * 4);
}
BENCHMARK(BM_TypicalHour)->Unit(benchmark::kMillisecond);

// Chunks of `range(0)` samples that follow on: merged in memory, flushed every 4900 samples.
void BM_SmallChunks(benchmark::State& state) {
    ScratchDir dir;
    NullRegistrar registrar;
    const auto chunk = static_cast<int32_t>(state.range(0));
    std::vector<float> samples(static_cast<std::size_t>(chunk), 1.0f);
    CArchiveWriter writer(registrar);
    writer.SetDataDir(dir.Path().c_str());
    EpochSeconds start = kStart;
    for (auto _ : state) {
        writer.AddSamples("ABC", "BHZ", 100, start, chunk, samples.data());
        start += chunk / 100.0;
        // Back to the start every 3000 s: the file of that name is rewritten, so the
        // scratch directory stays at one file however long the benchmark runs.
        if (start - kStart > 3000) start = kStart;
    }
    writer.FlushAll();
    state.SetItemsProcessed(state.iterations() * chunk);
}
BENCHMARK(BM_SmallChunks)->Arg(10)->Arg(100)->Arg(1000);

void BM_ComposeHeader(benchmark::State& state) {
    std::array<char, kArchiveHeaderSize> header;
    const ArchiveTime start{2013, 10, 22, 13, 47, 34};
    for (auto _ : state) {
        bool fits = ComposeHeader(header, start, ArchiveTime{}, 100.0, "ABC", "BHZ");
        benchmark::DoNotOptimize(fits);
        benchmark::DoNotOptimize(header.data());
    }
}
BENCHMARK(BM_ComposeHeader);

}  // namespace
