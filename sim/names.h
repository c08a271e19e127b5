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

// Ioctls for J1850PWM functional lookup tables.
inline constexpr uint32_t kClearFunctMsgLookupTable = 11;
inline constexpr uint32_t kAddToFunctMsgLookupTable = 12;
inline constexpr uint32_t kDeleteFromFunctMsgLookupTable = 13;

// ptsim's own ioctls, beyond those of J2534, for the bridge's typed ioctls.
inline constexpr uint32_t kPtsimGetSerial = 0x10000;   ///< output SBYTE_ARRAY: the serial number
inline constexpr uint32_t kPtsimQueued = 0x10001;      ///< output number: frames queued
inline constexpr uint32_t kPtsimInject = 0x10002;      ///< input message: queued as received
inline constexpr uint32_t kPtsimConfigList = 0x10003;  ///< a list filled as GET_CONFIG fills it
inline constexpr uint32_t kPtsimLastSent = 0x10004;    ///< output message: the last frame written
inline constexpr char kPtsimSerial[] = "PTSIM-0001";

// PassThruSetProgrammingVoltage special values.
inline constexpr uint32_t kVoltageOff = 0xFFFFFFFF;
inline constexpr uint32_t kShortToGround = 0xFFFFFFFE;

/// The protocol whose frames `protocol` carries: CAN for CAN_PS and SW_CAN_PS, ISO15765 for
/// ISO15765_PS and SW_ISO15765_PS, any other protocol itself.
inline uint32_t FramingOf(uint32_t protocol) {
  if (protocol == kCanPs || protocol == kSwCanPs) return kCan;
  if (protocol == kIso15765Ps || protocol == kSwIso15765Ps) return kIso15765;
  return protocol;
}
/// True for the protocols whose frames start with a 4-byte identifier: CAN, ISO15765 and their
/// pin-switched forms.
inline bool IsCanLike(uint32_t protocol) {
  return FramingOf(protocol) == kCan || FramingOf(protocol) == kIso15765;
}
/// True for the pin-switched protocols, which need J1962_PINS.
inline bool IsPinSwitched(uint32_t protocol) {
  return FramingOf(protocol) != protocol;
}
/// True for the single-wire CAN protocols.
inline bool IsSingleWire(uint32_t protocol) {
  return protocol == kSwCanPs || protocol == kSwIso15765Ps;
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
