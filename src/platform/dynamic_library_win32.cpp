// DLLs on Windows: LoadLibraryExW under a thread error mode that suppresses the critical-error
// dialog, with the library's own folder searched for the DLLs it imports.
#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/system_error.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

const std::string_view kLoadFailed = "LoadLibraryExW failed";
const std::string_view kFindFailed = "GetProcAddress failed";

namespace {

// The detail text, with a note when the system set no error code to go with the failure.
std::string Detail(std::string_view failed, DWORD error) {
  std::string text(failed);
  if (error == 0) text += ", but system did not report the error";
  return text;
}

// A load failure says why: the system's message and code, as the other system texts do.
std::string LoadDetail(DWORD error) {
  if (error == 0) return Detail(kLoadFailed, error);
  return std::string(kLoadFailed) + ": " + SystemErrorText(error);
}

// What LoadLibraryExW is given for `path`. Vendors install their helper DLLs beside the library,
// so a path with a folder is made absolute and loaded with LOAD_WITH_ALTERED_SEARCH_PATH, which
// searches the library's folder in place of the program's; a bare file name keeps the standard
// search.
struct LoadRequest {
  std::wstring path;
  DWORD flags = 0;
};

LoadRequest RequestFor(const std::string& path) {
  LoadRequest request{Widen(path), 0};
  if (request.path.find_first_of(L"\\/:") == std::wstring::npos) return request;
  const DWORD needed = ::GetFullPathNameW(request.path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return request;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(request.path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return request;
  full.resize(length);
  return {std::move(full), LOAD_WITH_ALTERED_SEARCH_PATH};
}

}  // namespace

void DynamicLibrary::Unload(void* handle) {
  ::FreeLibrary(static_cast<HMODULE>(handle));
}

Result<DynamicLibrary> DynamicLibrary::LoadNative(const std::string& path) {
  const LoadRequest request = RequestFor(path);
  DWORD previous = 0;
  const bool mode_set = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous) != FALSE;
  HMODULE module = ::LoadLibraryExW(request.path.c_str(), nullptr, request.flags);
  const DWORD error = module == nullptr ? ::GetLastError() : 0;
  if (mode_set && previous != SEM_FAILCRITICALERRORS) ::SetThreadErrorMode(previous, nullptr);
  if (module == nullptr) return Fail(LoadDetail(error));
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
