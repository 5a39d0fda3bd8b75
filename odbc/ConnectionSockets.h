#pragma once
// The network sockets a database driver opened for one connection, found from outside the
// driver: ODBC has no call that names them. Shutting them down is the one way to end a
// call blocked on a server that no longer answers while its host still does (a stopped
// server process: the kernel keeps acknowledging, so no time-out of TCP or of the server
// fires); the driver then sees its connection lost.

#include <sys/types.h>

#include <optional>
#include <vector>

namespace odbc {

// A socket descriptor of this process; the inode tells a reused descriptor number apart.
struct OpenSocket {
    int fd = -1;
    ino_t inode = 0;
    bool operator==(const OpenSocket&) const = default;
};

// Every socket descriptor open in this process now.
std::vector<OpenSocket> OpenSockets();

// The sockets of `after` that are not in `before` and belong to a connection whose local
// TCP port is `localPort` (a Unix-domain socket when the server saw no port). Other
// threads may have opened sockets meanwhile (a web server's clients): the port tells them
// apart.
std::vector<int> ConnectionSockets(const std::vector<OpenSocket>& before,
                                   const std::vector<OpenSocket>& after,
                                   std::optional<int> localPort);

// shutdown(SHUT_RDWR) of each: blocked reads and writes on them return at once.
void ShutDownSockets(const std::vector<int>& sockets) noexcept;

}  // namespace odbc
