// A loaded library's ownership, the same on every system: the handle unloads itself.
#include "platform/dynamic_library.h"

namespace tarnix::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&&) noexcept = default;
DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&&) noexcept = default;
DynamicLibrary::~DynamicLibrary() = default;

}  // namespace tarnix::platform
