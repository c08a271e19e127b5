// Named threads with a reserved stack size.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "common/result.h"

namespace tarnix::platform {

/// A joinable thread of the program's own.
class Thread {
 public:
  Thread(Thread&& other) noexcept;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  /// Joins a thread that was not joined yet.
  ~Thread();

  /// Starts `body` on a new thread named `name` whose stack reserves `stack_bytes`. An exception
  /// that escapes `body` ends the thread quietly. The error is "the system's message (os error N)".
  static Result<Thread> Start(const std::string& name, size_t stack_bytes,
                              std::function<void()> body);

  /// Waits for the thread to end. Does nothing when already joined.
  void Join();

  /// Opaque to callers; defined by each system's implementation.
  struct State;

 private:
  explicit Thread(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

/// The name of the calling thread as the system records it; empty where it cannot be read.
std::string CurrentThreadName();

}  // namespace tarnix::platform
