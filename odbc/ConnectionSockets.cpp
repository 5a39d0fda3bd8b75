#include "odbc/ConnectionSockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace odbc {

namespace {

// The local port of a TCP socket, or -1 for a Unix-domain one, or -2 for anything else.
int LocalPortOf(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -2;
    if (address.ss_family == AF_UNIX) return -1;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port);
    }
    return -2;
}

}  // namespace

std::vector<OpenSocket> OpenSockets() {
    std::vector<OpenSocket> sockets;
    DIR* directory = ::opendir("/proc/self/fd");
    if (directory == nullptr) return sockets;
    const int own = ::dirfd(directory);
    while (const dirent* entry = ::readdir(directory)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        struct stat info {};
        if (::fstat(static_cast<int>(fd), &info) == 0 && S_ISSOCK(info.st_mode)) {
            sockets.push_back({static_cast<int>(fd), info.st_ino});
        }
    }
    ::closedir(directory);
    return sockets;
}

std::vector<int> ConnectionSockets(const std::vector<OpenSocket>& before,
                                   const std::vector<OpenSocket>& after,
                                   std::optional<int> localPort) {
    std::vector<int> found;
    for (const OpenSocket& socket : after) {
        if (std::find(before.begin(), before.end(), socket) != before.end()) continue;
        if (LocalPortOf(socket.fd) == (localPort ? *localPort : -1)) found.push_back(socket.fd);
    }
    return found;
}

void ShutDownSockets(const std::vector<int>& sockets) noexcept {
    for (const int fd : sockets) ::shutdown(fd, SHUT_RDWR);
}

}  // namespace odbc
