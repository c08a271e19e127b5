// Shared objects on Linux through dlopen, each load private to its user (RTLD_LOCAL).
#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace tarnix::platform {

const std::string_view kLoadFailed = "dlopen failed";
const std::string_view kFindFailed = "dlsym failed";

void DynamicLibrary::Unload(void* handle) {
  ::dlclose(handle);
}

Result<DynamicLibrary> DynamicLibrary::LoadNative(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    return Fail(std::string(kLoadFailed) + ": " + (why != nullptr ? why : "unknown error"));
  }
  return DynamicLibrary(handle);
}

Result<void*> DynamicLibrary::Find(const char* name) const {
  ::dlerror();
  void* address = ::dlsym(handle_.get(), name);
  if (address == nullptr) return Fail(std::string(kFindFailed));
  return address;
}

std::string LibraryPathOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

std::string SharedLibraryFileName(std::string_view base) {
  return "lib" + std::string(base) + ".so";
}

}  // namespace tarnix::platform
