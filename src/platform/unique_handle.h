// Ownership of one system handle: moved, never copied, given back to the system exactly once.
#pragma once

#include <cstdint>
#include <utility>

namespace tarnix::platform {

/// Owns one handle of type T, or none (kNone). `kRelease` gives a handle back to the system (closes
/// it, unloads it, joins it...); it runs on destruction, on assignment and on Reset, never for
/// kNone. A moved-from holder holds none.
///
/// The classes holding one define their moves and destructor out of line (as "= default" in their
/// portable file): inlined into the destructor of a Result<Class>, GCC 12 mistakes kNone for a
/// pointer of the Error alternative and fails the build with a false -Wfree-nonheap-object.
template <typename T, T kNone, void (*kRelease)(T)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Take()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = other.Take();
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  bool valid() const { return value_ != kNone; }
  T get() const { return value_; }

  /// Releases the handle now; afterwards none is held.
  void Reset() {
    if (valid()) kRelease(Take());
  }

  /// Hands the handle over without releasing it; afterwards none is held.
  T Take() { return std::exchange(value_, kNone); }

 private:
  T value_ = kNone;
};

/// Closes a file, pipe or socket handle: a descriptor on Linux, a HANDLE on Windows.
void CloseSystemHandle(intptr_t handle);

/// An open file, pipe or socket. -1 is none: no descriptor has it, and it is Windows's
/// INVALID_HANDLE_VALUE.
using SystemHandle = UniqueHandle<intptr_t, -1, &CloseSystemHandle>;

}  // namespace tarnix::platform
