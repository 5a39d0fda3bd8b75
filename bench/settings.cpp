// Reading the converter's settings: a channel map of 3,000 keys, the largest anyone has
// asked for, loaded from its ini file as a run loads it (the file read and parsed once).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/IniFile.h"
#include "recorder/ChannelMap.h"

namespace {

void BM_ChannelMapOf3000Keys(benchmark::State& state) {
    std::string path = (std::filesystem::temp_directory_path() / "plq-bench-XXXXXX").string();
    const int fd = ::mkstemp(path.data());
    ::close(fd);
    {
        std::ofstream ini(path);
        ini << "[DATABASE]\nODBC=TRQ\n[DATA]\nDIR=/srv/trq\n[CHANNELMAP]\n";
        for (int key = 1; key <= 3000; ++key) ini << key << "=C" << key << "\n";
    }
    for (auto _ : state) {
        ChannelMap map;
        benchmark::DoNotOptimize(LoadChannelMap(map, platform::IniFile::Read(path), path));
        if (map.names.size() != 3000) state.SkipWithError("keys missing");
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_ChannelMapOf3000Keys)->Unit(benchmark::kMillisecond);

}  // namespace
