#pragma once
// The server's workers: a fixed number of threads and a bounded queue of accepted
// connections waiting for one. When the queue is full, accepting waits, and further
// connections wait in the system's listen backlog: memory never grows with the load.

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace trq {

class ServerTaskQueue : public httplib::TaskQueue {
  public:
    ServerTaskQueue(std::size_t threads, std::size_t maxWaiting);
    ~ServerTaskQueue() override;

    void enqueue(std::function<void()> task) override;
    // Lets the queued tasks finish, then ends the threads.
    void shutdown() override;

  private:
    void Work();

    std::size_t maxWaiting_;
    std::mutex mutex_;
    std::condition_variable taskAdded_;
    std::condition_variable taskTaken_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace trq
