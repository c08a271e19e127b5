// Standard error on Windows: WriteFile on the handle, so text mode never turns "\n" into "\r\n".
#include <windows.h>

#include "platform/standard_error.h"

namespace tarnix::platform {

void WriteStandardError(std::string_view text) {
  HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  while (!text.empty()) {
    DWORD written = 0;
    if (!::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    text.remove_prefix(written);
  }
}

}  // namespace tarnix::platform
