// Files by UTF-8 path: exact reads in a library file, modification times, whole small files, the
// names in a folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// A file opened for reading, closed when destroyed. While it is open, others may still read,
/// write, rename or delete it: examining a library must not get in the way of its owner.
class InputFile {
 public:
  // Out of line, for the reason given in unique_handle.h.
  InputFile(InputFile&&) noexcept;
  InputFile& operator=(InputFile&&) noexcept;
  ~InputFile();

  /// Opens the file at `path`, exactly as given.
  static Result<InputFile> Open(const std::string& path);

  /// Reads exactly `size` bytes starting at the absolute `offset`; fails when the file holds
  /// fewer bytes there or positioning fails.
  Result<void> ReadAt(uint64_t offset, void* buffer, size_t size);

  /// The number of bytes the file holds now.
  Result<uint64_t> Size();

 private:
  explicit InputFile(SystemHandle handle) : handle_(std::move(handle)) {}
  SystemHandle handle_;
};

/// The file's last-write time in whole seconds since 1970-01-01 00:00:00 UTC, fractions dropped;
/// 0 for a time before 1970. Fails when the time cannot be read.
Result<uint64_t> LastWriteSeconds(const std::string& path);

/// The whole content of the file at `path`.
Result<std::string> ReadWholeFile(const std::string& path);

/// The names (UTF-8, no folder part) of every entry in the folder `path` except "." and "..", in
/// the order the system lists them. Fails when the folder cannot be opened or listed.
Result<std::vector<std::string>> ListFolder(const std::string& path);

/// Creates the folder `path` and any missing parents; succeeds when it exists afterwards.
Result<void> CreateFolders(const std::string& path);

/// Creates the file at `path`, or truncates it, and writes `content` to it.
Result<void> WriteWholeFile(const std::string& path, std::string_view content);

/// The separator this system's paths use between folder names: '\\' or '/'.
char PathSeparator();

}  // namespace tarnix::platform
