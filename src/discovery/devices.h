// Device discovery: the J2534 interfaces registered on this machine, as EnumerateDevices lists
// them.
#pragma once

#include <vector>

#include "discovery/library_examination.h"
#include "platform/registry.h"
#include "protocol/payloads.h"

namespace tarnix::discovery {

/// Every interface registered under the 04.04 and 05.00 keys in both registry views of `registry`,
/// in source order: names cleaned, libraries registered twice listed once, each library examined
/// for its width and API version (`probe` loads a library on a cache miss). Never fails: whatever
/// cannot be read is skipped or defaulted. Writes nothing to standard error.
std::vector<protocol::DeviceInfo> EnumerateDevices(const platform::RegistryReader& registry,
                                                   const VersionProbe& probe);

/// EnumerateDevices on the system registry with the real version probe.
std::vector<protocol::DeviceInfo> EnumerateInstalledDevices();

}  // namespace tarnix::discovery
