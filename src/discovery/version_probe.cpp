// The version probe: load the library through the J2534 layer, look for the 05.00 entry point,
// free.
#include "discovery/version_probe.h"

#include "j2534/library.h"

namespace tarnix::discovery {

std::optional<std::string> ProbeLibraryVersion(const std::string& path) {
  auto library = j2534::PassThruLibrary::Load(path);
  if (!library) return std::nullopt;
  // No entry point is called; the library is released when `library` goes out of scope.
  return std::string(library->IsApi0500() ? "05.00" : "04.04");
}

}  // namespace tarnix::discovery
