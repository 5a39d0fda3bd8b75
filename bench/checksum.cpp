// The archive files' checksums: XXH3-128 (xxHash, the hash chosen) against SHA-256 (OpenSSL,
// with the processor's SHA instructions where it has them) over 1 MiB in memory, one
// checksum block; and the converter's way, a file's blocks of 4900 samples added as they are
// written (the whole file's hash and the MiB's at once).

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "archive/FileChecksum.h"

namespace {

std::vector<char> Bytes(std::size_t size) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    return bytes;
}

void BM_Xxh3_128(benchmark::State& state) {
    const std::vector<char> bytes = Bytes(1 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(HashOfBytes(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_Xxh3_128);

void BM_Sha256(benchmark::State& state) {
    const std::vector<char> bytes = Bytes(1 << 20);
    const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> sha256(
        EVP_MD_fetch(nullptr, "SHA256", nullptr), &EVP_MD_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(bytes.data(), bytes.size(), digest, &length, sha256.get(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_Sha256);

// An hour at 100 samples/s: the header, then 72 blocks of 19,600 bytes (1,440,512 bytes).
void BM_ChecksumWhileWriting(benchmark::State& state) {
    const std::vector<char> block = Bytes(19600);
    ChecksumBuilder builder;
    for (auto _ : state) {
        builder.Reset();
        builder.Add(block.data(), 512);
        for (int i = 0; i < 72; ++i) builder.Add(block.data(), block.size());
        benchmark::DoNotOptimize(builder.Checksum());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (512 + 72 * 19600));
}
BENCHMARK(BM_ChecksumWhileWriting);

}  // namespace
