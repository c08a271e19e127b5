// A loaded library's ownership, the same on every system: the handle unloads itself.
#include "platform/dynamic_library.h"

#include <atomic>

namespace tarnix::platform {

const std::string_view kLoadThrew =
    "the library's start-up code raised an exception through the system's loader";

namespace {
std::atomic<bool> g_loader_unusable{false};
}  // namespace

bool LoaderUnusable() {
  return g_loader_unusable.load();
}

Result<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  try {
    return LoadNative(path);
  } catch (...) {
    g_loader_unusable.store(true);
    return Fail(std::string(kLoadThrew));
  }
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&&) noexcept = default;
DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&&) noexcept = default;
DynamicLibrary::~DynamicLibrary() = default;

}  // namespace tarnix::platform
