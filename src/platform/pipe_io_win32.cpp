// Both ends of the client's pipe on Windows: a byte-mode named pipe instance.
#include <windows.h>

#include "platform/pipe_io.h"
#include "platform/system_error.h"
#include "platform/win32_handle.h"

namespace tarnix::platform {

Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size) {
  DWORD got = 0;
  if (::ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(size), &got, nullptr))
    return size_t{got};
  const DWORD code = ::GetLastError();
  // The other end closing is the end of the stream, not a failure.
  if (code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA) return size_t{0};
  return Fail(SystemErrorText(code));
}

Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
      return Fail(SystemErrorText());
    }
    bytes.remove_prefix(written);
  }
  return Ok();
}

}  // namespace tarnix::platform
