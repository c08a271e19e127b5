// Loading shared libraries (DLLs on Windows, shared objects on Linux) and finding their exports.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

namespace tarnix::platform {

/// One loaded library; unloaded exactly once when destroyed.
class DynamicLibrary {
 public:
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  ~DynamicLibrary();

  /// Loads the library at the UTF-8 `path`, with no system error dialog on Windows. The error is
  /// the loader's detail text: "LoadLibraryExW failed" (or "..., but system did not report the
  /// error"); on Linux "dlopen failed: " and the loader's message.
  static Result<DynamicLibrary> Load(const std::string& path);

  /// The address of the export `name`. The error is the detail text: "GetProcAddress failed"
  /// (or "..., but system did not report the error"); on Linux "dlsym failed".
  Result<void*> Find(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

/// The file name of library `base` on this system: "base.dll" or "libbase.so".
std::string SharedLibraryFileName(std::string_view base);

}  // namespace tarnix::platform
