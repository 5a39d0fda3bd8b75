// fuzz_seed_corpus DIR: writes the fuzzer's seed corpus, small recorder files from the
// generator that between them reach every branch of a conversion: the three sample
// encodings, no channels and no samples, several blocks per channel, a slow channel that
// flushes every chunk and rotates its file, fractions of a second, and files one byte off.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/PlqGenerator.h"

namespace {

struct Seed {
    const char* name;
    int16_t format;
    int16_t channels;
    int32_t samples;
    int16_t rate;
    int16_t millisecond;
    int64_t sizeAdjustment;
};

const std::vector<Seed> kSeeds = {
    {"format0", 0, 3, 600, 100, 0, 0},    {"format1", 1, 3, 300, 100, 0, 0},
    {"format2", 2, 2, 300, 20, 0, 0},     {"format-3", -3, 1, 100, 100, 250, 0},
    {"nochannels", 0, 0, 100, 100, 0, 0}, {"nosamples", 0, 3, 0, 100, 0, 0},
    {"blocks", 0, 1, 12000, 100, 0, 0},   {"slow", 0, 1, 3700, 1, 0, 0},
    {"fraction", 1, 2, 500, 64, 999, 0},  {"longer", 0, 2, 50, 100, 0, 1},
    {"shorter", 0, 2, 50, 100, 0, -1},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_corpus DIR\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    for (const Seed& seed : kSeeds) {
        plqgen::RecordingSpec spec;
        spec.sampleFormat = seed.format;
        spec.channelCount = seed.channels;
        spec.samplesPerChannel = seed.samples;
        spec.samplesPerSecond = seed.rate;
        spec.millisecond = seed.millisecond;
        spec.sizeAdjustment = seed.sizeAdjustment;
        spec.signal = plqgen::Signal::Noise;
        plqgen::WriteRecording(std::string(argv[1]) + "/" + seed.name + ".plq", spec);
    }
    return 0;
}
