// A lock that lets its waiters in in the order they came: the application's calls are served one
// at a time, first come first served.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarnix::shim {

/// A first-come-first-served lock (a ticket lock), for std::lock_guard.
class Turns {
 public:
  void lock() {
    std::unique_lock<std::mutex> hold(mutex_);
    const uint64_t ticket = next_++;
    turn_.wait(hold, [&] { return serving_ == ticket; });
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      ++serving_;
    }
    turn_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t next_ = 0;     // the ticket the next caller draws
  uint64_t serving_ = 0;  // the ticket whose turn it is
};

}  // namespace tarnix::shim
