// Appending to a file on Windows: a handle with FILE_APPEND_DATA but not FILE_WRITE_DATA, so that
// the system places every write at the end of the file.
#include <windows.h>

#include "platform/append_file.h"
#include "platform/system_error.h"
#include "platform/win32_file.h"
#include "platform/win32_handle.h"

namespace tarnix::platform {
namespace {

// Write chunks stay well below the 32-bit size that one WriteFile call takes.
constexpr size_t kAppendChunkBytes = 1 << 20;

}  // namespace

Result<AppendFile> AppendFile::Open(const std::string& path) {
  // Others may read, rename or delete the file meanwhile, but not write to it.
  SystemHandle file;
  if (Result<void> opened = OpenRegularFile(
          path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
          FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_ALWAYS, FinalLink::kRefuse, file);
      !opened) {
    return std::move(opened).error();
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(file), &size)) return Fail(SystemErrorText());
  return AppendFile(std::move(file), static_cast<uint64_t>(size.QuadPart));
}

Result<void> AppendFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD want =
        static_cast<DWORD>(bytes.size() < kAppendChunkBytes ? bytes.size() : kAppendChunkBytes);
    DWORD put = 0;
    if (!::WriteFile(AsHandle(handle_), bytes.data(), want, &put, nullptr)) {
      return Fail(SystemErrorText());
    }
    bytes.remove_prefix(put);
  }
  return Ok();
}

}  // namespace tarnix::platform
