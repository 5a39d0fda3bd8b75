#pragma once
// The fixity record of an archive file: its length, a hash of its whole content, and a
// hash of each block of 1 MiB (the last one may be shorter), so that damage is located to
// the blocks it touched. The catalog keeps it (catalog/ChecksumStore.h) from the moment the
// converter finished and synced the file; `trq check --verify` reads the file again and
// compares.
//
// The hash is XXH3-128 (xxHash, Debian's libxxhash): the damage looked for is that of
// disks, copies and stray writers, not an adversary's, and on this machine XXH3-128 hashes
// about five times as fast as SHA-256 with the processor's SHA instructions (see
// docs/performance.md), so that hashing while writing costs the converter little and
// verifying keeps up with reading. Hashes are 32 lower-case hex digits in the canonical
// byte order that `xxh128sum` prints: a file can be checked by hand as well.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The algorithm's name as the catalog, the manifests and the web services give it.
inline constexpr char kChecksumAlgorithm[] = "xxh3-128";
inline constexpr int64_t kChecksumBlockSize = 1 << 20;
inline constexpr std::size_t kHashDigits = 32;

struct FileChecksum {
    int64_t length = 0;
    std::string fileHash;                  // of the whole content
    std::vector<std::string> blockHashes;  // block i: bytes [i MiB, (i + 1) MiB) of the file
    bool operator==(const FileChecksum&) const = default;
};

// The block hashes as one text, one after the other, and back; false when `text` is not
// made of whole hashes.
std::string JoinedBlockHashes(const std::vector<std::string>& hashes);
bool SplitBlockHashes(std::string_view text, std::vector<std::string>& hashes);

// The hash of `size` bytes at once.
std::string HashOfBytes(const void* bytes, std::size_t size);

// The checksum of a file built from its bytes in order, as they are written.
class ChecksumBuilder {
  public:
    ChecksumBuilder();
    ~ChecksumBuilder();
    ChecksumBuilder(const ChecksumBuilder&) = delete;
    ChecksumBuilder& operator=(const ChecksumBuilder&) = delete;

    // Back to no bytes: a new file.
    void Reset();
    void Add(const void* bytes, std::size_t size);
    int64_t Length() const { return length_; }
    // The checksum of the bytes added so far; more may be added afterwards.
    FileChecksum Checksum() const;

  private:
    struct States;
    std::unique_ptr<States> states_;  // of the whole content and of the block being filled
    int64_t length_ = 0;
    std::vector<std::string> blockHashes_;  // of the blocks filled
};

// A file read again and compared with the checksum recorded for it: its length and each
// block (which together cover every byte; the whole file's hash is for those who hash the
// file whole, `xxh128sum` and the manifests).
struct FixityComparison {
    int64_t lengthNow = 0;
    // Byte ranges, first and last byte, of the recorded blocks whose bytes are no longer
    // the recorded ones (a block cut short by a truncation included), adjacent ones joined.
    std::vector<std::pair<int64_t, int64_t>> changedRanges;
    bool Intact(const FileChecksum& recorded) const {
        return lengthNow == recorded.length && changedRanges.empty();
    }
};

// Reads the file at `path` once, block by block as `recorded` lays them out, and beyond it.
// Throws std::runtime_error naming the file when it cannot be read.
FixityComparison CompareWithChecksum(const std::string& path, const FileChecksum& recorded);

// The checksum of the file at `path` as it is now. Throws std::runtime_error as above.
FileChecksum ChecksumOfFile(const std::string& path);
