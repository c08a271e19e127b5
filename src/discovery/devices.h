// Device discovery: the J2534 interfaces registered on this machine, as EnumerateDevices lists
// them.
#pragma once

#include <memory>
#include <vector>

#include "discovery/registration.h"
#include "wire/types.h"

namespace tarnix::discovery {

/// Every interface that `source` registers, in source order: defaults applied, names cleaned,
/// libraries registered twice listed once, each library examined for its width and API version
/// from its file (nothing is loaded). Never fails: whatever cannot be read is skipped or
/// defaulted. Writes nothing to standard error.
std::vector<wire::DeviceInfo> EnumerateDevices(const RegistrationSource& source);

/// EnumerateDevices on this system's registrations: the registry on Windows, the registration
/// files in $HOME/.passthru on Linux.
std::vector<wire::DeviceInfo> EnumerateInstalledDevices();

/// This system's registrations, as EnumerateInstalledDevices reads them.
std::unique_ptr<RegistrationSource> InstalledRegistrations();

}  // namespace tarnix::discovery
