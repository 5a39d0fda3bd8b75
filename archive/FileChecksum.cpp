#include "archive/FileChecksum.h"

#if defined(__x86_64__)
// The library's entry points that pick the widest vector unit the processor has (AVX2
// where there is one: about twice the speed of the SSE2 code the library is built for).
#include <xxh_x86dispatch.h>
#else
#include <xxhash.h>
#endif

#include <algorithm>
#include <stdexcept>

#include "platform/BinaryFile.h"

namespace {

std::string Hex(XXH128_hash_t hash) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(kHashDigits);
    for (unsigned char byte : canonical.digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

XXH3_state_t* NewState() {
    XXH3_state_t* state = XXH3_createState();
    if (state == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(state);
    return state;
}

// One state of its own, freed at the end of the scope.
struct ScopedState {
    XXH3_state_t* state = NewState();
    ScopedState() = default;
    ~ScopedState() { XXH3_freeState(state); }
    ScopedState(const ScopedState&) = delete;
    ScopedState& operator=(const ScopedState&) = delete;
};

// Files are read in pieces that stay in the processor's cache between the read and the
// hashing (a whole block of 1 MiB would not).
constexpr std::size_t kReadSize = 256 * 1024;

platform::BinaryFile OpenToHash(const std::string& path) {
    platform::BinaryFile file = platform::BinaryFile::OpenReadOnly(path);
    if (!file.IsOpen()) throw std::runtime_error("open " + path + ": " + file.OpenFailure());
    return file;
}

std::runtime_error ReadError(const std::string& path) {
    return std::runtime_error("read " + path + " failed");
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

struct ChecksumBuilder::States {
    XXH3_state_t* file = NewState();
    XXH3_state_t* block = NewState();
    int64_t blockFill = 0;
    States() = default;
    ~States() {
        XXH3_freeState(file);
        XXH3_freeState(block);
    }
    States(const States&) = delete;
    States& operator=(const States&) = delete;
};

std::string JoinedBlockHashes(const std::vector<std::string>& hashes) {
    std::string text;
    for (const std::string& hash : hashes) text += hash;
    return text;
}

bool SplitBlockHashes(std::string_view text, std::vector<std::string>& hashes) {
    hashes.clear();
    if (text.size() % kHashDigits != 0 || !std::all_of(text.begin(), text.end(), IsHexDigit)) {
        return false;
    }
    for (std::size_t at = 0; at < text.size(); at += kHashDigits) {
        hashes.emplace_back(text.substr(at, kHashDigits));
    }
    return true;
}

std::string HashOfBytes(const void* bytes, std::size_t size) {
    return Hex(XXH3_128bits(bytes, size));
}

ChecksumBuilder::ChecksumBuilder() : states_(std::make_unique<States>()) {}

ChecksumBuilder::~ChecksumBuilder() = default;

void ChecksumBuilder::Reset() {
    XXH3_128bits_reset(states_->file);
    XXH3_128bits_reset(states_->block);
    states_->blockFill = 0;
    length_ = 0;
    blockHashes_.clear();
}

void ChecksumBuilder::Add(const void* bytes, std::size_t size) {
    const auto* at = static_cast<const char*>(bytes);
    XXH3_128bits_update(states_->file, at, size);
    length_ += static_cast<int64_t>(size);
    // The same bytes into the blocks, each closed when it holds a whole MiB.
    while (size > 0) {
        const auto room = static_cast<std::size_t>(kChecksumBlockSize - states_->blockFill);
        const std::size_t part = std::min(room, size);
        XXH3_128bits_update(states_->block, at, part);
        states_->blockFill += static_cast<int64_t>(part);
        at += part;
        size -= part;
        if (states_->blockFill == kChecksumBlockSize) {
            blockHashes_.push_back(Hex(XXH3_128bits_digest(states_->block)));
            XXH3_128bits_reset(states_->block);
            states_->blockFill = 0;
        }
    }
}

FileChecksum ChecksumBuilder::Checksum() const {
    FileChecksum checksum{length_, Hex(XXH3_128bits_digest(states_->file)), blockHashes_};
    if (states_->blockFill > 0) {
        checksum.blockHashes.push_back(Hex(XXH3_128bits_digest(states_->block)));
    }
    return checksum;
}

FixityComparison CompareWithChecksum(const std::string& path, const FileChecksum& recorded) {
    platform::BinaryFile file = OpenToHash(path);
    std::vector<char> buffer(kReadSize);
    const ScopedState scoped;
    XXH3_state_t* const block = scoped.state;
    FixityComparison comparison;
    auto changed = [&comparison](int64_t first, int64_t last) {
        auto& ranges = comparison.changedRanges;
        if (!ranges.empty() && ranges.back().second + 1 == first) {
            ranges.back().second = last;
        } else {
            ranges.emplace_back(first, last);
        }
    };
    // Reads up to `size` bytes a piece at a time, into the block's hash when there is one;
    // false at the file's end.
    int64_t at = 0;
    auto read = [&](int64_t size, XXH3_state_t* hash) {
        for (const int64_t end = at + size; at < end;) {
            const auto want = static_cast<std::size_t>(std::min<int64_t>(kReadSize, end - at));
            const int64_t got = file.Read(buffer.data(), want);
            if (got < 0) throw ReadError(path);
            if (hash != nullptr)
                XXH3_128bits_update(hash, buffer.data(), static_cast<std::size_t>(got));
            at += got;
            if (static_cast<std::size_t>(got) != want) return false;
        }
        return true;
    };
    // The recorded blocks, each read as it was laid out (the last one up to the recorded
    // length, so that bytes added behind it leave it intact). Together they cover every byte:
    // the whole file's hash is not needed besides.
    for (std::size_t i = 0; i < recorded.blockHashes.size() && at < recorded.length; ++i) {
        const int64_t first = at;
        const int64_t size = std::min<int64_t>(kChecksumBlockSize, recorded.length - first);
        XXH3_128bits_reset(block);
        if (!read(size, block)) {
            changed(first, recorded.length - 1);  // cut short here: the rest is missing
            break;
        }
        if (Hex(XXH3_128bits_digest(block)) != recorded.blockHashes[i]) {
            changed(first, first + size - 1);
        }
    }
    if (at == recorded.length) {
        while (read(kReadSize, nullptr)) {
        }
    }
    comparison.lengthNow = at;
    return comparison;
}

FileChecksum ChecksumOfFile(const std::string& path) {
    platform::BinaryFile file = OpenToHash(path);
    std::vector<char> buffer(static_cast<std::size_t>(kChecksumBlockSize));
    ChecksumBuilder builder;
    for (int64_t got; (got = file.Read(buffer.data(), buffer.size())) != 0;) {
        if (got < 0) throw ReadError(path);
        builder.Add(buffer.data(), static_cast<std::size_t>(got));
    }
    return builder.Checksum();
}
