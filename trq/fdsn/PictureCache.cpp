#include "trq/fdsn/PictureCache.h"

#include <algorithm>

namespace trq {

uint64_t CatalogChanges::Generation(const std::function<CatalogMark()>& readMark) {
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    if (!mark_ || now - readAt_ >= period_) {
        CatalogMark mark = readMark();
        if (mark_ && mark != *mark_) ++generation_;
        mark_ = std::move(mark);
        readAt_ = now;
    }
    return generation_;
}

std::string PictureCache::Get(const std::string& key, uint64_t generation,
                              const std::function<std::string()>& draw) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) {
            pictures_.clear();
            bytes_ = 0;
            generation_ = generation;
        }
        if (auto kept = pictures_.find(key); kept != pictures_.end()) {
            kept->second.used = ++uses_;
            ++hits_;
            return kept->second.png;
        }
        ++misses_;
    }
    std::string png = draw();
    std::lock_guard lock(mutex_);
    // Drawn from a catalog that has changed since: not kept.
    if (generation == generation_ && png.size() <= kMaxPictureBytes) Keep(key, png);
    return png;
}

void PictureCache::Keep(const std::string& key, std::string png) {
    if (auto old = pictures_.find(key); old != pictures_.end()) {
        bytes_ -= old->second.png.size();
        pictures_.erase(old);
    }
    while (!pictures_.empty() &&
           (pictures_.size() >= kMaxPictures || bytes_ + png.size() > kMaxPictureBytes)) {
        auto oldest = std::min_element(
            pictures_.begin(), pictures_.end(),
            [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
        bytes_ -= oldest->second.png.size();
        pictures_.erase(oldest);
    }
    bytes_ += png.size();
    pictures_[key] = {std::move(png), ++uses_};
}

int64_t PictureCache::Hits() const {
    std::lock_guard lock(mutex_);
    return hits_;
}

int64_t PictureCache::Misses() const {
    std::lock_guard lock(mutex_);
    return misses_;
}

}  // namespace trq
