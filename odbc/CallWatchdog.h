#pragma once
// A bound on the time calls on a connection may take, whatever the server does. A thread
// watches the deadlines; once one passes, the connection is cut (CDatabase::Cut), so that a
// call waiting for a server that does not answer returns as on a lost connection.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

class CDatabase;

class CallWatchdog {
  public:
    using Clock = std::chrono::steady_clock;

    CallWatchdog() = default;
    ~CallWatchdog();  // ends the watching thread
    CallWatchdog(const CallWatchdog&) = delete;
    CallWatchdog& operator=(const CallWatchdog&) = delete;

    // Watches one connection from its construction to its destruction.
    class Watch {
      public:
        Watch(CallWatchdog& watchdog, CDatabase& database, Clock::time_point deadline);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        // True once the deadline passed and the connection was cut.
        bool Expired() const;
        Clock::time_point Deadline() const { return deadline_; }

      private:
        CallWatchdog& watchdog_;
        Clock::time_point deadline_;
        uint64_t id_;
    };

  private:
    struct Entry {
        CDatabase* database;
        Clock::time_point deadline;
        bool expired;
    };
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<uint64_t, Entry> entries_;
    uint64_t lastId_ = 0;
    bool stopping_ = false;
    std::thread thread_;  // started with the first watch
};
