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
/// it is then; others may read, rename or delete the file meanwhile.
class AppendFile {
 public:
  // Out of line, for the reason given in unique_handle.h.
  AppendFile(AppendFile&&) noexcept;
  AppendFile& operator=(AppendFile&&) noexcept;
  ~AppendFile();

  /// Opens the regular file at the UTF-8 `path`, creating it when missing (on Linux with mode
  /// 0600); on Windows nobody else may write to it while it is open. A link
  /// that the path ends in is not followed, and the open never waits (a FIFO fails at once). The
  /// error is the reason: the system's message and " (os error N)", "not a regular file", or "a
  /// symbolic link, which is not followed".
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
