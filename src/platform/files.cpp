// An input file's ownership and the bounded whole-file read, the same on every system.
#include "platform/files.h"

namespace tarnix::platform {

InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

Result<std::string> ReadSmallFile(const std::string& path, uint64_t max_bytes, FinalLink link) {
  Result<InputFile> file = InputFile::Open(path, link);
  if (!file) return std::move(file).error();
  const Result<uint64_t> size = file->Size();
  if (!size) return size.error();
  if (*size > max_bytes) {
    return Fail("larger than " + std::to_string(max_bytes) + " bytes: " + std::to_string(*size));
  }
  // Exactly the size seen: a file that grows meanwhile is not read beyond it.
  std::string content(static_cast<size_t>(*size), '\0');
  if (Result<void> read = file->ReadAt(0, content.data(), content.size()); !read) {
    return std::move(read).error();
  }
  return content;
}

}  // namespace tarnix::platform
