// A file that only grows: every write lands at its end, as a log or trace needs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// A file opened for appending, closed when destroyed. Each Write goes to the end of the file as
/// it is then, so lines appended by other processes in between are never overwritten; others may
/// read, rename or delete the file meanwhile.
class AppendFile {
 public:
  // Out of line, for the reason given in unique_handle.h.
  AppendFile(AppendFile&&) noexcept;
  AppendFile& operator=(AppendFile&&) noexcept;
  ~AppendFile();

  /// Opens the file at the UTF-8 `path`, creating it when missing. The error is the system's
  /// reason: its message and " (os error N)".
  static Result<AppendFile> Open(const std::string& path);

  /// The file's size in bytes when it was opened.
  uint64_t size_at_open() const { return size_at_open_; }

  /// Appends all of `bytes`; the error is the system's reason.
  Result<void> Write(std::string_view bytes);

  /// The system's handle of the file, for writing from a fault handler (SetFaultTrace).
  intptr_t native_handle() const { return handle_.get(); }

 private:
  AppendFile(SystemHandle handle, uint64_t size)
      : handle_(std::move(handle)), size_at_open_(size) {}
  SystemHandle handle_;
  uint64_t size_at_open_;
};

}  // namespace tarnix::platform
