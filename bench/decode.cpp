// Throughput of the sample decoders over one channel block of 1,000,000 samples, in bytes
// of raw (stored) input per second.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "recorder/plq/SampleDecoding.h"

namespace {

constexpr std::size_t kSamples = 1000000;

void RunDecoder(benchmark::State& state, int sampleFormat) {
    const std::size_t rawBytes = kSamples * BytesPerSample(sampleFormat);
    std::vector<unsigned char> raw(rawBytes);
    std::mt19937 random(7);
    for (auto& byte : raw) byte = static_cast<unsigned char>(random());
    std::vector<float> samples(kSamples);
    for (auto _ : state) {
        DecodeSamples(sampleFormat, raw.data(), kSamples, samples.data());
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rawBytes));
}

void BM_DecodeGainRanged16(benchmark::State& state) {
    RunDecoder(state, 0);
}
void BM_DecodeNegatedInt32(benchmark::State& state) {
    RunDecoder(state, 1);
}
void BM_DecodeInt32(benchmark::State& state) {
    RunDecoder(state, 2);
}

}  // namespace

BENCHMARK(BM_DecodeGainRanged16);
BENCHMARK(BM_DecodeNegatedInt32);
BENCHMARK(BM_DecodeInt32);
