#include "trq/fdsn/ServerTaskQueue.h"

namespace trq {

ServerTaskQueue::ServerTaskQueue(std::size_t threads, std::size_t maxWaiting)
    : maxWaiting_(maxWaiting) {
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

ServerTaskQueue::~ServerTaskQueue() {
    shutdown();
}

void ServerTaskQueue::enqueue(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    taskTaken_.wait(lock, [this] { return tasks_.size() < maxWaiting_ || stopping_; });
    tasks_.push_back(std::move(task));
    taskAdded_.notify_one();
}

void ServerTaskQueue::shutdown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    taskAdded_.notify_all();
    taskTaken_.notify_all();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

void ServerTaskQueue::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            taskAdded_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
            if (tasks_.empty()) return;  // stopping, and nothing left to do
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        taskTaken_.notify_one();
        task();
    }
}

}  // namespace trq
