// The control thread's wake-up: raised from any thread, or from a signal handler, it ends a wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// A flag that other threads raise to wake the control thread out of its waits (for a client, for
/// input, for the worker's answer). A raise that no wait has consumed yet stays raised, so a wake
/// that comes before the wait is never lost; several raises may wake one wait.
class Wakeup {
 public:
  // Out of line, for the reason given in unique_handle.h.
  Wakeup(Wakeup&&) noexcept;
  Wakeup& operator=(Wakeup&&) noexcept;
  ~Wakeup();

  /// A new wake-up, not raised. The error is the system's text.
  static Result<Wakeup> Create();

  /// Raises it. Safe in a signal handler on Linux; any thread may call it.
  void Raise() const;

  /// Waits until it is raised or `timeout` passes (nullopt: no limit), and lowers it; true when
  /// it was raised.
  bool Wait(std::optional<std::chrono::milliseconds> timeout) const;

  /// The system's object (an eventfd on Linux, an auto-reset event on Windows), for the waits of
  /// other platform services that watch it beside their own handle.
  intptr_t native() const { return handle_.get(); }

 private:
  explicit Wakeup(SystemHandle handle) : handle_(std::move(handle)) {}
  SystemHandle handle_;
};

/// The milliseconds a system wait takes for `timeout`: -1 (or INFINITE) for none, else the
/// count rounded up and held below the system's limit.
int64_t WaitMilliseconds(std::optional<std::chrono::milliseconds> timeout);

}  // namespace tarnix::platform
