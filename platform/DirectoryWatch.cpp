#include "platform/DirectoryWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace platform {

namespace {

constexpr uint32_t kMask =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_EXCL_UNLINK | IN_ONLYDIR | IN_DONT_FOLLOW;

}  // namespace

DirectoryWatch::DirectoryWatch(const std::string& root)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "inotify_init1");
    if (::inotify_add_watch(fd_, root.c_str(), kMask) < 0) {
        const int error = errno;
        ::close(fd_);
        throw std::system_error(error, std::generic_category(), "watch " + root);
    }
    AddTree(root);
}

DirectoryWatch::~DirectoryWatch() {
    ::close(fd_);
}

void DirectoryWatch::AddTree(const std::string& directory) {
    const int watch = ::inotify_add_watch(fd_, directory.c_str(), kMask);
    if (watch < 0) {
        problems_.push_back(directory + ": " + std::strerror(errno));
        return;
    }
    if (!directories_.emplace(watch, directory).second) return;  // watched already
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) AddTree(it->path().string());
    }
}

std::vector<WatchEvent> DirectoryWatch::Take() {
    std::vector<WatchEvent> events;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0) break;  // EAGAIN: nothing more waits
        for (const char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                events.push_back({WatchEvent::Kind::kOverflow, ""});
                continue;
            }
            const auto directory = directories_.find(event->wd);
            if (event->mask & IN_IGNORED) {
                if (directory != directories_.end()) directories_.erase(directory);
                continue;
            }
            if (directory == directories_.end() || event->len == 0) continue;
            const std::string path = directory->second + "/" + event->name;
            if (event->mask & IN_ISDIR) {
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                    AddTree(path);
                    events.push_back({WatchEvent::Kind::kDirectoryAdded, path});
                }
            } else if (event->mask & IN_CLOSE_WRITE) {
                events.push_back({WatchEvent::Kind::kClosedAfterWriting, path});
            } else if (event->mask & IN_MOVED_TO) {
                events.push_back({WatchEvent::Kind::kMovedIn, path});
            } else if (event->mask & IN_CREATE) {
                events.push_back({WatchEvent::Kind::kCreated, path});
            }
        }
    }
    return events;
}

std::vector<std::string> DirectoryWatch::TakeProblems() {
    return std::exchange(problems_, {});
}

}  // namespace platform
