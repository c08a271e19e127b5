// The interfaces installed on Windows: registrations in the registry, PE libraries.
#include "discovery/devices.h"
#include "discovery/registry_source.h"

namespace tarnix::discovery {

std::vector<wire::DeviceInfo> EnumerateInstalledDevices() {
  return EnumerateDevices(*InstalledRegistrations());
}

std::unique_ptr<RegistrationSource> InstalledRegistrations() {
  return std::make_unique<RegistrySource>(platform::SystemRegistry());
}

}  // namespace tarnix::discovery
