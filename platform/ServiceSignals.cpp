#include "platform/ServiceSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform {

ServiceSignals::ServiceSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, &previous_);
    fd_ = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        throw std::system_error(error, std::generic_category(), "signalfd");
    }
}

ServiceSignals::~ServiceSignals() {
    ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

std::vector<int> ServiceSignals::Take() {
    std::vector<int> signals;
    signalfd_siginfo info;
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        signals.push_back(static_cast<int>(info.ssi_signo));
    }
    return signals;
}

}  // namespace platform
