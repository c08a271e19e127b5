// Environment variables on Windows, through the wide API; a value that is not valid UTF-16 is
// absent.
#include <windows.h>

#include <cstdlib>

#include "common/text.h"
#include "platform/environment.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

std::optional<std::string> GetEnvironment(const std::string& name) {
  const std::wstring wide_name = Widen(name);
  std::wstring value(256, L'\0');
  for (;;) {
    ::SetLastError(0);
    const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                              static_cast<DWORD>(value.size()));
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < value.size()) {
      value.resize(n);
      break;
    }
    value.resize(n);
  }
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(value.data()), value.size()));
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  // _wputenv_s updates both the C runtime's copy and the process block, so libraries that read
  // either see the change.
  const std::wstring wide_name = Widen(name);
  const std::wstring wide_value = value ? Widen(*value) : std::wstring();
  ::_wputenv_s(wide_name.c_str(), wide_value.c_str());
  if (value && value->empty()) ::SetEnvironmentVariableW(wide_name.c_str(), L"");
}

std::optional<std::string> UserCacheFolder() {
  return GetEnvironment("LOCALAPPDATA");
}

}  // namespace tarnix::platform
