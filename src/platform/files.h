// Files by UTF-8 path: exact reads in a library file, modification times, small files read whole
// and replaced whole, the names in a folder. Every path may come from someone else: no open waits
// (a FIFO or a device is refused at once), and only regular files are read.
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

/// Whether an open follows a symbolic link (on Windows also a junction) that the path ends in.
/// Folders on the way are followed either way.
enum class FinalLink { kFollow, kRefuse };

/// A file opened for reading, closed when destroyed. While it is open, others may still read,
/// write, rename or delete it: examining a library must not get in the way of its owner.
class InputFile {
 public:
  // Out of line, for the reason given in unique_handle.h.
  InputFile(InputFile&&) noexcept;
  InputFile& operator=(InputFile&&) noexcept;
  ~InputFile();

  /// Opens the regular file at `path`, exactly as given. The open never waits: a FIFO, a device,
  /// a socket or a folder fails at once ("not a regular file"), as does a final link under
  /// FinalLink::kRefuse. Libraries are commonly reached through links, hence the default.
  static Result<InputFile> Open(const std::string& path, FinalLink link = FinalLink::kFollow);

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

/// The whole content of the regular file at `path`, opened as InputFile::Open does; fails when it
/// holds more than `max_bytes`, so that no file can make the caller read without end.
Result<std::string> ReadSmallFile(const std::string& path, uint64_t max_bytes, FinalLink link);

/// The names (UTF-8, no folder part) of every entry in the folder `path` except "." and "..", in
/// the order the system lists them. Fails when the folder cannot be opened or listed.
Result<std::vector<std::string>> ListFolder(const std::string& path);

/// Creates the folder `path` and any missing parents, those made now for this user alone (Linux:
/// mode 0700; Windows: the permissions their parent passes on). Succeeds when `path` exists
/// afterwards as a folder and not as a link to one; an existing folder keeps its permissions.
Result<void> CreatePrivateFolders(const std::string& path);

/// Replaces the file at `path` with one holding `content`: written to a new file beside it that
/// only this user may read and write (Windows: the folder's permissions), then renamed over `path`.
/// A reader sees the old content or the new one, and a link at `path` is replaced, never followed.
/// On Linux the folder holding `path` is held open throughout and must not be a link itself.
Result<void> ReplaceWholeFile(const std::string& path, std::string_view content);

/// Removes the file at `path` (a link there, not what it points to). A file that does not exist
/// counts as removed.
Result<void> RemoveFile(const std::string& path);

/// The separator this system's paths use between folder names: '\\' or '/'.
char PathSeparator();

/// Whether the UTF-8 paths `a` and `b` lead to one and the same existing file, however they are
/// written (links followed, letter case and short names on Windows). False when either cannot be
/// looked up. Never opens a file for reading or writing, so nothing can make it wait.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace tarnix::platform
