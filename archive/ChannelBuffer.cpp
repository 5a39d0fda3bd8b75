#include "archive/ChannelBuffer.h"

#include <algorithm>
#include <cassert>
#include <utility>

CChannelBuffer::CChannelBuffer(std::string channelName, double sampleRate)
    : sampleRate_(sampleRate), channelName_(std::move(channelName)) {
    // Elements beyond the buffered count carry no meaning; 255.0 marks them as never filled.
    samples_.fill(255.0f);
}

void CChannelBuffer::StartBlock(EpochSeconds start, double duration, const float* samples,
                                int32_t count) {
    assert(count > 0 && count <= kCapacity);
    std::copy_n(samples, count, samples_.data());
    blockStart_ = start;
    blockDuration_ = duration;
    bufferedCount_ = count;
}

void CChannelBuffer::AppendToBlock(double duration, const float* samples, int32_t count) {
    assert(count > 0 && bufferedCount_ + count <= kCapacity);
    std::copy_n(samples, count, samples_.data() + bufferedCount_);
    bufferedCount_ += count;
    blockDuration_ += duration;
}

void CChannelBuffer::ClearBlock() {
    blockStart_ = 0;
    blockDuration_ = 0;
    bufferedCount_ = 0;
}

void CChannelBuffer::DropSamples(int64_t count, EpochSeconds from) {
    if (count <= 0) return;
    if (droppedCount_ == 0) droppedFrom_ = from;
    droppedCount_ += count;
}

void CChannelBuffer::StartFile(EpochSeconds start, double duration) {
    fileStart_ = start;
    fileDuration_ = duration;
}

void CChannelBuffer::ForgetFile() {
    fileStart_ = 0;
    fileDuration_ = 0;
}

bool CChannelBuffer::SetCurrentFilePath(std::string_view path) {
    if (path.size() >= currentFilePath_.size()) return false;
    std::copy(path.begin(), path.end(), currentFilePath_.begin());
    currentFilePath_[path.size()] = '\0';
    return true;
}
