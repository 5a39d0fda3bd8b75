#pragma once
// The signals a service answers, as a descriptor its loop polls beside its others: SIGTERM
// (systemctl stop) and SIGINT (Ctrl-C) to stop, SIGHUP (systemctl reload) to read its
// settings again. Nothing runs in a signal handler: the loop reads them when it is ready.

#include <signal.h>

#include <vector>

namespace platform {

class ServiceSignals {
  public:
    // Blocks SIGTERM, SIGINT and SIGHUP in the calling thread, and so in every thread it
    // starts afterwards (construct it before any other thread), and opens a descriptor that
    // delivers them. Throws std::system_error when the system refuses.
    ServiceSignals();
    // Closes the descriptor and restores the calling thread's signal mask.
    ~ServiceSignals();
    ServiceSignals(const ServiceSignals&) = delete;
    ServiceSignals& operator=(const ServiceSignals&) = delete;

    // Readable (poll) when a signal waits.
    int Descriptor() const { return fd_; }
    // The signals that came since the last call, in order; never blocks.
    std::vector<int> Take();

  private:
    sigset_t previous_{};
    int fd_ = -1;
};

}  // namespace platform
