#include "watch/ArrivalTracker.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/ExitCodes.h"
#include "recorder/RecordingOpener.h"

namespace fs = std::filesystem;

namespace {

// A record's modification time and the file's agree within this: PostgreSQL keeps a double
// to 15 significant digits through the driver (10 microseconds for today's times).
constexpr double kSameTime = 1e-4;
// A recording of the announced size counts as written when it was last modified this long
// ago, without a close seen (a scan's find, a network file system).
constexpr double kSettled = 1.0;
constexpr auto kSettleCheck = std::chrono::seconds(1);

class SilentSink : public ConsoleSink {
  public:
    void Message(std::string_view) override {}
    void Notice(std::string_view) override {}
};

// What a file's header says: whether it is a recording, and its announced length.
struct HeaderLook {
    int exitCode = 0;  // of the open: 0, kOpenFile, kReadFile (too short), kNotPlq
    int64_t announced = 0;
};

HeaderLook LookAtHeader(const std::string& path) {
    SilentSink silent;
    const ScopedConsoleSink installed(silent);
    const OpenedRecording opened = OpenRecording(path.c_str(), HeaderReadLine::kLeftOut);
    HeaderLook look{opened.exitCode, 0};
    if (opened.exitCode == 0) look.announced = opened.recording->Describe().announcedLength;
    return look;
}

// A name below the root that begins with a dot: the file's, or a directory's on the way.
bool IsHidden(const std::string& root, const std::string& path) {
    for (const fs::path& part : fs::path(path).lexically_relative(root)) {
        if (part.string().starts_with(".") && part != "." && part != "..") return true;
    }
    return false;
}

}  // namespace

bool IsFinal(const RecordingRecord& record) {
    return record.exitCode != ExitCode::kArchiveWrite &&
           record.exitCode != ExitCode::kStationBusy && record.exitCode != ExitCode::kDatabase &&
           record.exitCode != ExitCode::kUnexpected;
}

std::string RecordPath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? fs::path(path) : absolute).lexically_normal().string();
}

ArrivalTracker::ArrivalTracker(std::string root) : root_(std::move(root)) {}

void ArrivalTracker::Remember(const RecordingRecord& record) {
    RecordingRecord& kept = known_[record.path];
    if (!kept.path.empty() && kept.converted > record.converted) return;
    kept = record;
    // What a record says of its archive files is not needed here: months of records stay
    // small.
    kept.created.clear(), kept.replaced.clear(), kept.extended.clear();
    kept.reason.clear();
}

void ArrivalTracker::Touch(const std::string& path, bool closed, Clock::time_point now) {
    if (IsHidden(root_, path)) return;
    Candidate& c = candidates_[path];
    c.closedSeen = c.closedSeen || closed;
    if (!c.queued) c.due = now;
}

std::size_t ArrivalTracker::Scan(const std::string& directory, Clock::time_point now) {
    std::size_t found = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename().string().starts_with(".")) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(error)) continue;
        ++found;
        const std::string path = it->path().string();
        const auto c = candidates_.find(path);
        if (c == candidates_.end() || !c->second.queued) Touch(path, false, now);
    }
    return found;
}

std::vector<WatchJob> ArrivalTracker::Evaluate(Clock::time_point now,
                                               std::vector<std::string>& told) {
    std::vector<std::pair<double, WatchJob>> ready;
    for (auto it = candidates_.begin(); it != candidates_.end();) {
        Candidate& c = it->second;
        if (c.queued || c.due > now) {
            ++it;
            continue;
        }
        WatchJob job;
        const bool keep = Judge(it->first, c, now, job, told);
        if (job.sequence != 0) ready.emplace_back(c.modified, std::move(job));
        it = keep ? std::next(it) : candidates_.erase(it);
    }
    std::stable_sort(ready.begin(), ready.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first, a.second.path) < std::tie(b.first, b.second.path);
    });
    std::vector<WatchJob> jobs;
    for (auto& [modified, job] : ready) {
        job.sequence = ++sequence_;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

// False when the file is done with (gone, or converted as it is now).
bool ArrivalTracker::Judge(const std::string& path, Candidate& c, Clock::time_point now,
                           WatchJob& job, std::vector<std::string>& told) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const std::string station = StationOf(path);
    if (station.empty()) {
        if (toldNoStation_.insert(path).second) {
            told.push_back(path + " is directly in " + root_ + " and names no station: left out");
        }
        return false;
    }
    const double modified = static_cast<double>(status.st_mtim.tv_sec) +
                            static_cast<double>(status.st_mtim.tv_nsec) / 1e9;
    if (status.st_size != c.size || modified != c.modified) {
        c.size = status.st_size, c.modified = modified, c.changed = now;
        c.closed = c.closedSeen;
    } else {
        c.closed = c.closed || c.closedSeen;
    }
    c.closedSeen = false;
    const auto known = known_.find(RecordPath(path));
    if (known != known_.end() && known->second.size == c.size &&
        std::fabs(known->second.modified - c.modified) < kSameTime && IsFinal(known->second)) {
        return false;
    }
    const HeaderLook header = LookAtHeader(path);
    const bool quiet = now - c.changed >= quiet_;
    const bool complete = header.exitCode == 0 && c.size == header.announced;
    const bool incomplete = (header.exitCode == 0 && c.size < header.announced) ||
                            header.exitCode == ExitCode::kReadFile;
    bool take = false;
    if (complete) {
        take = c.closed || platform::NowWithFraction() - c.modified >= kSettled;
        c.due = now + kSettleCheck;
    } else {
        take = quiet || (c.closed && !incomplete);
        c.due = c.changed + quiet_;
    }
    if (!take) return true;
    job.kind = incomplete ? WatchJob::Kind::kIncomplete : WatchJob::Kind::kConvert;
    job.path = path;
    job.station = station;
    job.sequence = 1;  // numbered in order by Evaluate
    job.size = c.size;
    job.announced = header.announced;
    if (known != known_.end()) job.known = known->second;
    c.queued = true;
    return true;
}

ArrivalTracker::Clock::time_point ArrivalTracker::NextDue() const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [path, c] : candidates_) {
        if (!c.queued) next = std::min(next, c.due);
    }
    return next;
}

void ArrivalTracker::Finished(const WatchJob& job, const RecordingRecord* record,
                              Clock::time_point now) {
    if (record != nullptr && !record->path.empty()) Remember(*record);
    const auto c = candidates_.find(job.path);
    if (c == candidates_.end()) return;
    c->second.queued = false;
    c->second.due = now;  // changed meanwhile? else done with
}

std::size_t ArrivalTracker::Waiting() const {
    return candidates_.size();
}

std::vector<std::string> ArrivalTracker::Stations() const {
    std::vector<std::string> stations;
    std::error_code error;
    for (fs::directory_iterator it(root_, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (it->is_directory(error) && !name.starts_with(".")) stations.push_back(name);
    }
    std::sort(stations.begin(), stations.end());
    return stations;
}

std::string ArrivalTracker::StationOf(const std::string& path) const {
    const fs::path relative = fs::path(path).lexically_relative(root_);
    if (std::distance(relative.begin(), relative.end()) < 2) return "";
    return relative.begin()->string();
}
