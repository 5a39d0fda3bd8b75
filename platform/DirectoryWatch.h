#pragma once
// A directory tree watched for files that are written, moved in or made (inotify): the
// watch is one descriptor, which a loop polls beside its others and reads when it is ready.
// Directories made or moved in below the tree are watched as soon as they are seen. The
// kernel's queue is bounded: when it overflows, events are lost and the owner is told to
// look at the whole tree itself.

#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

struct WatchEvent {
    enum class Kind {
        kClosedAfterWriting,  // a file opened for writing was closed
        kMovedIn,             // a file was renamed into the tree, or within it
        kCreated,             // a file was made (it may still be written)
        kDirectoryAdded,      // a directory was made or moved in: look at what it holds
        kOverflow,            // events were lost: look at the whole tree
    };
    Kind kind = Kind::kCreated;
    std::string path;  // below the root, as the root was given; empty for kOverflow
};

class DirectoryWatch {
  public:
    // Watches `root` and every directory below it. Throws std::system_error when the
    // kernel gives no watch at all; a directory below that cannot be watched (the user's
    // watch limit) is named in Problems, and only a scan finds what arrives there.
    explicit DirectoryWatch(const std::string& root);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // Readable (poll) when events wait.
    int Descriptor() const { return fd_; }
    // The events that wait now, in the order they happened; never blocks.
    std::vector<WatchEvent> Take();
    // Directories that could not be watched since the last call ("PATH: reason").
    std::vector<std::string> TakeProblems();

  private:
    // Watches `directory` and, below it, every directory not yet watched.
    void AddTree(const std::string& directory);

    int fd_ = -1;
    std::unordered_map<int, std::string> directories_;  // watch descriptor -> path
    std::vector<std::string> problems_;
};

}  // namespace platform
