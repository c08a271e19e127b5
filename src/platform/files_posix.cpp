// Files on Linux through file descriptors, each closed by its owner.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/files.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

Result<InputFile> InputFile::Open(const std::string& path) {
  SystemHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return CallFailed("open");
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

Result<std::string> ReadWholeFile(const std::string& path) {
  const SystemHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return CallFailed("open");
  std::string content;
  char chunk[8192];
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(file.get()), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return CallFailed("read");
    if (got == 0) return content;
    content.append(chunk, static_cast<size_t>(got));
  }
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

Result<void> CreateFolders(const std::string& path) {
  // Every prefix that ends before a separator is a parent; failures on the way are judged only by
  // whether the folder exists at the end.
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    ::mkdir(path.substr(0, pos).c_str(), 0777);
  }
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return CallFailed("mkdir");
  if (!IsFolder(path)) return Fail("not a folder: " + path);
  return Ok();
}

Result<void> WriteWholeFile(const std::string& path, std::string_view content) {
  const SystemHandle file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!file.valid()) return CallFailed("open");
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t put =
        ::write(static_cast<int>(file.get()), content.data() + done, content.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return CallFailed("write");
    done += static_cast<size_t>(put);
  }
  return Ok();
}

char PathSeparator() {
  return '/';
}

}  // namespace tarnix::platform
