// DLLs on Windows: LoadLibraryExW under a thread error mode that suppresses the critical-error
// dialog.
#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {

// The detail text, with a note when the system set no error code to go with the failure.
std::string Detail(std::string_view failed, DWORD error) {
  std::string text(failed);
  if (error == 0) text += ", but system did not report the error";
  return text;
}

}  // namespace

const std::string_view kLoadFailed = "LoadLibraryExW failed";
const std::string_view kFindFailed = "GetProcAddress failed";

void DynamicLibrary::Unload(void* handle) {
  ::FreeLibrary(static_cast<HMODULE>(handle));
}

Result<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  const std::wstring wide = Widen(path);
  DWORD previous = 0;
  const bool mode_set = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous) != FALSE;
  HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, 0);
  const DWORD error = module == nullptr ? ::GetLastError() : 0;
  if (mode_set && previous != SEM_FAILCRITICALERRORS) ::SetThreadErrorMode(previous, nullptr);
  if (module == nullptr) return Fail(Detail(kLoadFailed, error));
  return DynamicLibrary(module);
}

Result<void*> DynamicLibrary::Find(const char* name) const {
  FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle_.get()), name);
  if (address == nullptr) return Fail(Detail(kFindFailed, ::GetLastError()));
  return reinterpret_cast<void*>(address);
}

std::string LibraryPathOf(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return Narrow(path.substr(0, n));
    path.resize(path.size() * 2);
  }
}

std::string SharedLibraryFileName(std::string_view base) {
  return std::string(base) + ".dll";
}

}  // namespace tarnix::platform
