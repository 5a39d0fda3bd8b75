#pragma once
// Whether the archive files a dry run would replace hold the data the conversion would write
// into them again, so that the operator can tell a campaign converted again (same data) from
// recordings that would overwrite other data. The recording's channels are decoded and each
// file is compared while they stream past, a piece at a time: memory does not grow with the
// recording, and a recording that replaces nothing is never decoded.

#include <cstdint>
#include <string>
#include <vector>

#include "recorder/Calendar.h"

struct ChannelMap;
class Recording;

// One archive file a recording would make: which samples of which channel go into it.
struct ArchiveFilePlan {
    int channel = 0;          // 1 .. channelCount
    std::string name;         // the channel's archive name
    EpochSeconds start = 0;   // of the file's first sample
    int64_t firstSample = 0;  // index in the channel
    int64_t sampleCount = 0;
    std::string catalogPath;
};

// An existing archive file the recording would replace, and what it holds.
struct ReplacedFile {
    ArchiveFilePlan plan;
    std::string diskPath;
    bool sameData = true;  // set by CompareReplacedFiles
};

// Sets `sameData` of each file: true when it holds exactly what the conversion would write,
// the same length (512 + 4 bytes per sample), the same 512-byte header and the same samples
// bit for bit; false when it differs in any of them or cannot be read. `files` come in the
// order the channels are decoded: by channel, then by first sample. `recording` has passed
// the converter's checks; `station` is the name as stored. The channels are decoded only
// when some file has the expected length and header. Returns 0, or the converter's exit code
// when the recording could not be read whole (its error lines printed).
int CompareReplacedFiles(Recording& recording, const std::string& station,
                         const ChannelMap& channelMap, std::vector<ReplacedFile>& files);
