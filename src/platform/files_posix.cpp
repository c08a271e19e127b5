// Files on Linux through file descriptors, each closed by its owner.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/files.h"
#include "platform/posix_file.h"
#include "platform/process.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

Result<void> WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t put = ::write(fd, content.data(), content.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return CallFailed("write");
    content.remove_prefix(static_cast<size_t>(put));
  }
  return Ok();
}

}  // namespace

std::pair<std::string, std::string> SplitPosixPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

Result<void> OpenRegularFile(const std::string& path, int flags, mode_t mode, FinalLink link,
                             SystemHandle& file) {
  flags |= O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (link == FinalLink::kRefuse) flags |= O_NOFOLLOW;
  SystemHandle opened(::open(path.c_str(), flags, mode));
  if (!opened.valid()) {
    const int code = errno;
    if (code == ELOOP && link == FinalLink::kRefuse) {
      struct stat info {};
      if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        return Fail("a symbolic link, which is not followed");
      }
    }
    // A FIFO without a reader, or a socket, refuses a non-blocking writer this way.
    if (code == ENXIO) return Fail("not a regular file");
    return Fail(SystemErrorText(static_cast<uint32_t>(code)));
  }
  struct stat info {};
  if (::fstat(static_cast<int>(opened.get()), &info) != 0) return Fail(SystemErrorText());
  if (!S_ISREG(info.st_mode)) return Fail("not a regular file");
  file = std::move(opened);
  return Ok();
}

Result<InputFile> InputFile::Open(const std::string& path, FinalLink link) {
  SystemHandle file;
  if (Result<void> opened = OpenRegularFile(path, O_RDONLY, 0, link, file); !opened) {
    return std::move(opened).error();
  }
  return InputFile(std::move(file));
}

Result<void> InputFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(static_cast<int>(handle_.get()), bytes + done, size - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return CallFailed("pread");
    if (got == 0) return Fail("the file ends before the bytes asked for");
    done += static_cast<size_t>(got);
  }
  return Ok();
}

Result<uint64_t> InputFile::Size() {
  struct stat info {};
  if (::fstat(static_cast<int>(handle_.get()), &info) != 0) return CallFailed("fstat");
  return info.st_size < 0 ? uint64_t{0} : static_cast<uint64_t>(info.st_size);
}

Result<uint64_t> LastWriteSeconds(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return CallFailed("stat");
  return info.st_mtim.tv_sec < 0 ? uint64_t{0} : static_cast<uint64_t>(info.st_mtim.tv_sec);
}

Result<std::vector<std::string>> ListFolder(const std::string& path) {
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path.c_str()), &::closedir);
  if (folder == nullptr) return CallFailed("opendir");
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(folder.get());
    if (entry == nullptr) {
      if (errno != 0) return CallFailed("readdir");
      return names;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
}

Result<void> CreatePrivateFolders(const std::string& path) {
  // Every prefix that ends before a separator is a parent; failures on the way are judged only by
  // whether the folder exists at the end. The mode can only lose bits to the umask.
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    ::mkdir(path.substr(0, pos).c_str(), 0700);
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return CallFailed("mkdir");
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return CallFailed("lstat");
  if (!S_ISDIR(info.st_mode)) return Fail("not a folder: " + path);
  return Ok();
}

Result<void> ReplaceWholeFile(const std::string& path, std::string_view content) {
  const auto [folder_path, name] = SplitPosixPath(path);
  // Held open, the folder cannot be swapped for another (or for a link) between the steps.
  const SystemHandle folder(
      ::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.valid()) return CallFailed("open");
  const int at = static_cast<int>(folder.get());
  const std::string temporary = "." + name + "." + RandomHexDigits(16) + ".tmp";
  Result<void> written = Ok();
  {
    const SystemHandle file(::openat(at, temporary.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) return CallFailed("openat");
    written = WriteAll(static_cast<int>(file.get()), content);
  }
  if (written && ::renameat(at, temporary.c_str(), at, name.c_str()) != 0) {
    written = CallFailed("renameat");
  }
  if (!written) ::unlinkat(at, temporary.c_str(), 0);
  return written;
}

Result<void> RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return CallFailed("unlink");
  return Ok();
}

char PathSeparator() {
  return '/';
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace tarnix::platform
