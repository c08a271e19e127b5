// Appending to a file on Linux: a descriptor opened with O_APPEND.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/append_file.h"
#include "platform/posix_file.h"
#include "platform/system_error.h"

namespace tarnix::platform {

Result<AppendFile> AppendFile::Open(const std::string& path) {
  SystemHandle file;
  if (Result<void> opened =
          OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, 0600, FinalLink::kRefuse, file);
      !opened) {
    return std::move(opened).error();
  }
  struct stat info {};
  if (::fstat(static_cast<int>(file.get()), &info) != 0) return Fail(SystemErrorText());
  return AppendFile(std::move(file), static_cast<uint64_t>(info.st_size));
}

Result<void> AppendFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(static_cast<int>(handle_.get()), bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return Fail(SystemErrorText());
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return Ok();
}

}  // namespace tarnix::platform
