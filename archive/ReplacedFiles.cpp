#include "archive/ReplacedFiles.h"

#include <cstring>
#include <span>
#include <stdexcept>

#include "archive/ArchiveHeader.h"
#include "platform/Console.h"
#include "recorder/UtcTime.h"

namespace {

// The former file's start as its header gives it (whole seconds), or why there is none.
std::string FormerStart(platform::BinaryFile& former) {
    unsigned char header[kArchiveHeaderSize];
    if (!former.SeekTo(0) || former.Read(header, sizeof header) != sizeof header) {
        return "unknown (no whole header)";
    }
    try {
        return FormatUtc(static_cast<double>(ParseArchiveHeader(header).StartSecond()), 0);
    } catch (const std::runtime_error&) {
        return "unknown (a header not of this archive)";
    }
}

int64_t SampleCount(int64_t fileLength) {
    return fileLength > static_cast<int64_t>(kArchiveHeaderSize)
               ? (fileLength - static_cast<int64_t>(kArchiveHeaderSize)) / 4
               : 0;
}

}  // namespace

void ReplacedFiles::Begin(const CChannelBuffer& channel, platform::BinaryFile former,
                          const std::string& path, const std::string& catalogPath,
                          EpochSeconds start) {
    Finish(channel);
    Replacement& replacement = open_[&channel];
    replacement.former = std::move(former);
    replacement.path = path;
    replacement.catalogPath = catalogPath;
    replacement.start = start;
}

void ReplacedFiles::Compare(const CChannelBuffer& channel, int64_t offset, const void* bytes,
                            std::size_t size) {
    const auto found = open_.find(&channel);
    if (found == open_.end()) return;
    CompareBytes(found->second, offset, static_cast<const char*>(bytes), size);
}

void ReplacedFiles::CompareBytes(Replacement& replacement, int64_t offset, const char* bytes,
                                 std::size_t size) {
    const bool follows = offset == replacement.written;
    replacement.written = offset + static_cast<int64_t>(size);
    // Once a difference is found the rest need not be read.
    if (replacement.differs) return;
    scratch_.resize(size);
    replacement.differs =
        !follows || !replacement.former.SeekTo(offset) ||
        replacement.former.Read(scratch_.data(), size) != static_cast<int64_t>(size) ||
        std::memcmp(scratch_.data(), bytes, size) != 0;
}

void ReplacedFiles::Finish(const CChannelBuffer& channel) {
    const auto found = open_.find(&channel);
    if (found == open_.end()) return;
    Replacement& replacement = found->second;
    const int64_t formerLength = replacement.former.Length();
    if (replacement.differs || formerLength != replacement.written) {
        const std::string formerStart = FormerStart(replacement.former);
        ConsoleNotice(
            "replaced %s, which held other data: it began %s with %lld samples, now %s with "
            "%lld samples",
            replacement.path.c_str(), formerStart.c_str(),
            static_cast<long long>(SampleCount(formerLength)),
            FormatUtc(replacement.start, 3).c_str(),
            static_cast<long long>(SampleCount(replacement.written)));
        otherData_.push_back(replacement.catalogPath);
    }
    open_.erase(found);
}
