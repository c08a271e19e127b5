// J2534 numbers the forwarding library needs beyond the shared vocabulary.
#pragma once

#include <cstddef>
#include <cstdint>

#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::shim {

using namespace tarnix::passthru;  // NOLINT: the records and constants are this module's vocabulary

/// The room PassThruReadVersion and PassThruGetLastError give for each text, its zero included.
inline constexpr size_t kTextRoom = kTextSize;

/// The device id the application is given: the bridge serves one device and tells no id.
inline constexpr uint32_t kDeviceId = 1;

}  // namespace tarnix::shim
