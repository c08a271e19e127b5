// Environment access for ptsim on Windows: the process's own block, which a test changes with
// SetEnvironmentVariableW (the C runtime's copy in this DLL would not see that).
#include <windows.h>

#include <vector>

#include "sim/os.h"

namespace tarnix::sim::os {
namespace {

std::wstring Widen(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
  wide.resize(wide.size() - 1);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

}  // namespace

std::optional<std::string> GetEnv(const char* name) {
  const std::wstring wide_name = Widen(name);
  std::vector<wchar_t> buffer(256);
  while (true) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetEnvironmentVariableW(wide_name.c_str(), buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < buffer.size()) return Narrow(std::wstring(buffer.data(), n));
    buffer.resize(n);
  }
}

}  // namespace tarnix::sim::os
