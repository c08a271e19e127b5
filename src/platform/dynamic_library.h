// Loading shared libraries (DLLs on Windows, shared objects on Linux) and finding their exports.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// The start of the loader's detail text of a failed DynamicLibrary::Load: "LoadLibraryExW failed"
/// on Windows, followed by ": " and the system's message and " (os error N)"; "dlopen failed" on
/// Linux, followed by ": " and the loader's message.
extern const std::string_view kLoadFailed;

/// The loader's detail text of a failed DynamicLibrary::Find that the system reported:
/// "GetProcAddress failed" or "dlsym failed".
extern const std::string_view kFindFailed;

/// The detail text of a load whose library's start-up code threw an exception out of the system's
/// loader. The loader is then left in a state nobody can trust (its lock may stay held by the
/// loading thread), so the process must end as soon as it has answered: see LoaderUnusable().
extern const std::string_view kLoadThrew;

/// Whether a library's start-up code threw out of the system's loader in this process: the loader
/// cannot be used any more (a library loaded, a thread joined or the process's ordinary exit may
/// wait forever), and the process must end by EndProcessNow.
bool LoaderUnusable();

/// One loaded library; unloaded exactly once, when its holder is destroyed.
class DynamicLibrary {
 public:
  // Out of line, for the reason given in unique_handle.h.
  DynamicLibrary(DynamicLibrary&&) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&&) noexcept;
  ~DynamicLibrary();

  /// Loads the library at the UTF-8 `path`, with no system error dialog on Windows. The DLLs a
  /// Windows library imports are also searched for in its own folder when `path` names one. The
  /// error is the loader's detail text (kLoadFailed and the reason; on Windows ", but system did
  /// not report the error" in place of the reason when the system gave no error code).
  static Result<DynamicLibrary> Load(const std::string& path);

  /// The address of the export `name`. The error is the detail text kFindFailed (on Windows with
  /// ", but system did not report the error" appended when the system gave no error code).
  Result<void*> Find(const char* name) const;

  /// Whether a library is held (false once moved from).
  bool loaded() const { return handle_.valid(); }

 private:
  static void Unload(void* handle);
  /// The system's load, as Load describes it, without the guard against exceptions.
  static Result<DynamicLibrary> LoadNative(const std::string& path);

  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  UniqueHandle<void*, nullptr, &DynamicLibrary::Unload> handle_;
};

/// The UTF-8 path of the loaded library (or program) whose image holds `address`, as the loader
/// knows it: what a library learns of where it was loaded from. Empty when the system cannot tell.
std::string LibraryPathOf(const void* address);

/// The file name of library `base` on this system: "base.dll" or "libbase.so".
std::string SharedLibraryFileName(std::string_view base);

}  // namespace tarnix::platform
