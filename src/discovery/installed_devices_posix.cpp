// The interfaces installed on Linux: registration files in $HOME/.passthru, ELF libraries.
#include "discovery/devices.h"
#include "discovery/folder_source.h"

namespace tarnix::discovery {

std::vector<wire::DeviceInfo> EnumerateInstalledDevices() {
  return EnumerateDevices(*InstalledRegistrations());
}

std::unique_ptr<RegistrationSource> InstalledRegistrations() {
  return std::make_unique<FolderSource>(HomeRegistrationFolder());
}

}  // namespace tarnix::discovery
