// Shared objects on Linux through dlopen, each load private to its user (RTLD_LOCAL).
#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace tarnix::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

Result<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    return Fail(std::string("dlopen failed: ") + (why != nullptr ? why : "unknown error"));
  }
  return DynamicLibrary(handle);
}

Result<void*> DynamicLibrary::Find(const char* name) const {
  ::dlerror();
  void* address = ::dlsym(handle_, name);
  if (address == nullptr) return Fail("dlsym failed");
  return address;
}

std::string SharedLibraryFileName(std::string_view base) {
  return "lib" + std::string(base) + ".so";
}

}  // namespace tarnix::platform
