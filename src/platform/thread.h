// Named threads with a reserved stack size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// A joinable thread of the program's own. Destroying it, or assigning another to it, joins a
/// thread that was not joined yet.
class Thread {
  /// Waits for the system's thread `native` to end and frees it.
  static void JoinNative(intptr_t native);

 public:
  /// The system's thread, joined (and freed) when it is reset or destroyed.
  using NativeThread = UniqueHandle<intptr_t, 0, &Thread::JoinNative>;

  /// Starts `body` on a new thread named `name` whose stack reserves `stack_bytes`. An exception
  /// that escapes `body` ends the thread quietly. The error is "the system's message (os error N)".
  static Result<Thread> Start(const std::string& name, size_t stack_bytes,
                              std::function<void()> body);

  /// Waits for the thread to end. Does nothing when already joined.
  void Join();

  /// What a thread runs from; it lives until the thread is joined.
  struct State {
    std::string name;
    std::function<void()> body;
    /// Declared last, so that the thread has ended before the name and the body go.
    NativeThread native;

    /// Runs the body on the new thread, then releases it. An escaping exception ends only the body.
    void Run();
  };

 private:
  /// Starts the system's thread, which names itself and calls state.Run(); its handle or the error.
  static Result<intptr_t> StartNative(State& state, size_t stack_bytes);

  explicit Thread(std::unique_ptr<State> state) : state_(std::move(state)) {}
  std::unique_ptr<State> state_;
};

/// The name of the calling thread as the system records it; empty where it cannot be read.
std::string CurrentThreadName();

}  // namespace tarnix::platform
