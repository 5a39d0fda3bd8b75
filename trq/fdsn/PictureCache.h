#pragma once
// The pictures of the pages, kept until the catalog changes: an availability picture of a
// year of a hundred stations takes seconds to draw, and a page is looked at again and again.
//
// The catalog's mark (CatalogFigures.h: its rows, their summed TQTY, the latest LDDATE) is
// read at most once a second however many requests come; each time it is found changed, the
// generation grows and every picture drawn before is dropped. A picture is kept per key
// (the route, its selection, window and size), at most kMaxPictures and kMaxPictureBytes of
// them, the least recently used going first.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "catalog/CatalogFigures.h"

namespace trq {

inline constexpr std::size_t kMaxPictures = 64;
inline constexpr std::size_t kMaxPictureBytes = 32u << 20;

class CatalogChanges {
  public:
    using Clock = std::chrono::steady_clock;
    explicit CatalogChanges(Clock::duration period = std::chrono::seconds(1)) : period_(period) {}

    // The catalog's generation now: `readMark` is asked when the last reading is older than
    // the period (requests meanwhile wait for it rather than read too). Throws what it throws.
    uint64_t Generation(const std::function<CatalogMark()>& readMark);

  private:
    Clock::duration period_;
    std::mutex mutex_;
    std::optional<CatalogMark> mark_;
    Clock::time_point readAt_{};
    uint64_t generation_ = 0;
};

class PictureCache {
  public:
    // The picture of `key` drawn under `generation`; `draw` makes it when none is kept
    // (outside the cache's lock: other requests go on meanwhile). Throws what `draw` throws.
    std::string Get(const std::string& key, uint64_t generation,
                    const std::function<std::string()>& draw);

    int64_t Hits() const;
    int64_t Misses() const;

  private:
    struct Kept {
        std::string png;
        uint64_t used = 0;  // the use counter's value at its last use
    };
    void Keep(const std::string& key, std::string png);

    mutable std::mutex mutex_;
    std::map<std::string, Kept> pictures_;
    std::size_t bytes_ = 0;
    uint64_t generation_ = 0;
    uint64_t uses_ = 0;
    int64_t hits_ = 0;
    int64_t misses_ = 0;
};

}  // namespace trq
