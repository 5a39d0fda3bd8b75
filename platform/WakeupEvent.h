#pragma once
// A descriptor that threads make readable to wake a loop polling it (eventfd): workers tell
// a service's loop that a result waits without the loop polling on a timer.

namespace platform {

class WakeupEvent {
  public:
    // Throws std::system_error when the system gives no descriptor.
    WakeupEvent();
    ~WakeupEvent();
    WakeupEvent(const WakeupEvent&) = delete;
    WakeupEvent& operator=(const WakeupEvent&) = delete;

    int Descriptor() const { return fd_; }
    // Makes the descriptor readable; from any thread.
    void Wake();
    // Makes it unreadable again (call it before looking at what the wakers left).
    void Clear();

  private:
    int fd_ = -1;
};

}  // namespace platform
