// J2534 numbers the forwarding library needs beyond the shared binary interface header.
#pragma once

#include <cstdint>

#include "j2534/passthru_abi.h"

namespace tarnix::shim {

using namespace tarnix::j2534;  // NOLINT: the records and constants are this module's vocabulary

// Statuses the library answers of its own accord.
inline constexpr uint32_t kErrInvalidMsg = 10;
inline constexpr uint32_t kErrDeviceInUse = 14;

// Ioctls whose input and output the library knows, beyond those with methods of their own.
inline constexpr uint32_t kClearFunctMsgLookupTable = 11;
inline constexpr uint32_t kAddToFunctMsgLookupTable = 12;
inline constexpr uint32_t kDeleteFromFunctMsgLookupTable = 13;
inline constexpr uint32_t kSwCanHs = 0x8000;
inline constexpr uint32_t kSwCanNs = 0x8001;

/// The room PassThruReadVersion and PassThruGetLastError give for each text, its zero included.
inline constexpr size_t kTextRoom = 80;

/// The device id the application is given: the bridge serves one device and tells no id.
inline constexpr uint32_t kDeviceId = 1;

}  // namespace tarnix::shim
