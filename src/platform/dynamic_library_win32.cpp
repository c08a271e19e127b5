// DLLs on Windows: LoadLibraryExW under a thread error mode that suppresses the critical-error
// dialog.
#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

Result<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  const std::wstring wide = Widen(path);
  DWORD previous = 0;
  const bool mode_set = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous) != FALSE;
  HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, 0);
  const DWORD error = module == nullptr ? ::GetLastError() : 0;
  if (mode_set && previous != SEM_FAILCRITICALERRORS) ::SetThreadErrorMode(previous, nullptr);
  if (module == nullptr) {
    return Fail(error != 0 ? "LoadLibraryExW failed"
                           : "LoadLibraryExW failed, but system did not report the error");
  }
  return DynamicLibrary(module);
}

Result<void*> DynamicLibrary::Find(const char* name) const {
  FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (address == nullptr) {
    return Fail(::GetLastError() != 0
                    ? "GetProcAddress failed"
                    : "GetProcAddress failed, but system did not report the error");
  }
  return reinterpret_cast<void*>(address);
}

std::string SharedLibraryFileName(std::string_view base) {
  return std::string(base) + ".dll";
}

}  // namespace tarnix::platform
