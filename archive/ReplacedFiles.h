#pragma once
// Replacing an archive file is how a corrected recording reaches the archive, but a
// different recording that shares the station, the channel and the start second replaces
// one just the same. While its successor is written, the former file stays open (its name
// already names the new file: the open file is all that is left of it) and is compared
// with what is written, block by block, so that the operator hears of every replacement
// that changed what the archive held; converting the same recording again stays silent.
// Only replaced files are read, each once.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/BinaryFile.h"
#include "recorder/Calendar.h"

class CChannelBuffer;

class ReplacedFiles {
  public:
    // Each replaced file found to have held other data goes to `otherData` (its catalog
    // path), once its replacement is finished.
    explicit ReplacedFiles(std::vector<std::string>& otherData) : otherData_(otherData) {}

    // The channel's new file at `path` (catalog path `catalogPath`) took the place of
    // `former` (open for reading); its first sample is at `start`. Its bytes follow through
    // Compare, from the header on.
    void Begin(const CChannelBuffer& channel, platform::BinaryFile former, const std::string& path,
               const std::string& catalogPath, EpochSeconds start);
    // `size` bytes written to the channel's new file at `offset`.
    void Compare(const CChannelBuffer& channel, int64_t offset, const void* bytes,
                 std::size_t size);
    // The channel's new file takes no more: a notice when it holds other bytes than the
    // former one did.
    void Finish(const CChannelBuffer& channel);

  private:
    struct Replacement {
        platform::BinaryFile former;
        std::string path;
        std::string catalogPath;
        EpochSeconds start = 0;
        int64_t written = 0;  // length of the new file so far
        bool differs = false;
    };
    void CompareBytes(Replacement& replacement, int64_t offset, const char* bytes,
                      std::size_t size);

    std::vector<std::string>& otherData_;
    std::map<const CChannelBuffer*, Replacement> open_;
    std::vector<char> scratch_;  // the former file's bytes being compared
};
