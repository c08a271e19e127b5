// J2534 numbers that ptsim needs beyond the bridge's ABI header, and their names for the call log.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "j2534/passthru_abi.h"
#include "trace/names.h"

namespace tarnix::sim {

using namespace tarnix::j2534;  // NOLINT: the records and constants are this module's vocabulary

// Status codes that the bridge's header does not name.
inline constexpr uint32_t kErrInvalidIoctlValue = 5;
inline constexpr uint32_t kErrInvalidMsg = 10;
inline constexpr uint32_t kErrInvalidTimeInterval = 11;
inline constexpr uint32_t kErrExceededLimit = 12;
inline constexpr uint32_t kErrDeviceInUse = 14;
inline constexpr uint32_t kErrInvalidIoctlId = 15;
inline constexpr uint32_t kErrPinInvalid = 19;
inline constexpr uint32_t kErrMsgProtocolId = 21;
inline constexpr uint32_t kErrNoFlowControl = 23;

/// TxFlags ISO15765_ADDR_TYPE: extended addressing, one byte of each CAN frame taken by the
/// address.
inline constexpr uint32_t kIso15765AddrType = 0x80;

// Ioctls for J1850PWM functional lookup tables, which the simulated device does not offer.
inline constexpr uint32_t kClearFunctMsgLookupTable = 11;
inline constexpr uint32_t kDeleteFromFunctMsgLookupTable = 13;

// PassThruSetProgrammingVoltage special values.
inline constexpr uint32_t kVoltageOff = 0xFFFFFFFF;
inline constexpr uint32_t kShortToGround = 0xFFFFFFFE;

/// True for the protocols whose frames start with a 4-byte identifier: CAN and ISO15765.
inline bool IsCanLike(uint32_t protocol) {
  return protocol == kCan || protocol == kIso15765;
}
/// True for the K-Line protocols ISO9141 and ISO14230.
inline bool IsKLine(uint32_t protocol) {
  return protocol == kIso9141 || protocol == kIso14230;
}

// The names a call line shows live with the trace format.
using trace::FilterTypeName;
using trace::IoctlByName;
using trace::IoctlName;
using trace::ParameterName;
using trace::StatusByName;
using trace::StatusName;

}  // namespace tarnix::sim
