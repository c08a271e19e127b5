// The loaded vendor library, its entry points and the texts it gives.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/result.h"
#include "j2534/entry_point.h"
#include "j2534/error.h"
#include "passthru/entry_points.h"
#include "platform/dynamic_library.h"

namespace tarnix::j2534 {

/// A loaded vendor library. Move-only; unloaded exactly once, when destroyed. Each entry point is
/// looked up once, when first needed, and what was found kept: a missing one fails only the
/// operations that need it, each with the loader's text. Calls through its entry points are
/// recorded while a tracer is set. Used by one thread at a time, as its connection is.
class PassThruLibrary {
 public:
  /// Loads the library at `path` (UTF-8). Fails with a DllLoad error: the loader's text, or for a
  /// library of the other width "a 32-bit library cannot be loaded by the 64-bit bridge" (or the
  /// reverse).
  static Result<PassThruLibrary, PassThruError> Load(const std::string& path);

  PassThruLibrary(PassThruLibrary&&) noexcept = default;
  PassThruLibrary& operator=(PassThruLibrary&&) noexcept = default;
  /// Unloads the library (marked as the call in flight while the system unloads it).
  ~PassThruLibrary();

  /// Entry point `entry` with the signature Fn, or a FunctionNotFound error.
  template <typename Fn>
  Result<EntryPoint<Fn>, PassThruError> Resolve(passthru::Entry entry) const {
    Result<void*> address = Find(entry);
    if (!address) return FunctionNotFoundError(passthru::EntryName(entry), address.error().text);
    return Bind<Fn>(entry, address.value());
  }

  /// Entry point `entry`, which Find gave at `address`, with the signature Fn.
  template <typename Fn>
  EntryPoint<Fn> Bind(passthru::Entry entry, void* address) const {
    return EntryPoint<Fn>(std::bit_cast<Fn>(address), passthru::EntryName(entry), tracer_.get());
  }

  /// Records the calls through entry points resolved from now on in `tracer` (null: none).
  void SetTracer(std::shared_ptr<CallTracer> tracer) { tracer_ = std::move(tracer); }

  /// The address of entry point `entry`, or the loader's detail text.
  Result<void*> Find(passthru::Entry entry) const;

  /// True when the library exports PassThruScanForDevices: the 05.00 form of the interface.
  bool IsApi0500() const;

 private:
  explicit PassThruLibrary(platform::DynamicLibrary library) : library_(std::move(library)) {}
  // Declared first so that the trace outlives the library's last call and its unloading.
  std::shared_ptr<CallTracer> tracer_;
  platform::DynamicLibrary library_;
  /// What looking up one entry point found: its address, or the loader's text for its absence.
  struct Lookup {
    bool done = false;
    void* address = nullptr;
    std::string missing;
  };
  mutable std::array<Lookup, passthru::kEntryCount> lookups_{};
};

/// The library's own description of its last failure (PassThruGetLastError, 512 bytes, trimmed);
/// nullopt when the entry point is missing, fails, or gives only white space.
std::optional<std::string> LastErrorText(const PassThruLibrary& library);

/// Text of a NUL-terminated buffer of `size` bytes (all of it when there is no NUL), decoded as
/// UTF-8 with each invalid sequence replaced by U+FFFD. Not trimmed.
std::string BufferText(const char* buffer, size_t size);

/// The trimmed form LastErrorText gives for `buffer`; nullopt when only white space remains.
std::optional<std::string> TrimmedBufferText(const char* buffer, size_t size);

}  // namespace tarnix::j2534
