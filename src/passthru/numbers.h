// The numbers of the J2534 interface (protocols, flags, filter types, ioctls, configuration
// parameters, status codes) and the predicates over them that the bridge and ptsim share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnix::passthru {

// Protocols.
inline constexpr uint32_t kJ1850Vpw = 1;
inline constexpr uint32_t kJ1850Pwm = 2;
inline constexpr uint32_t kIso9141 = 3;
inline constexpr uint32_t kIso14230 = 4;
inline constexpr uint32_t kCan = 5;
inline constexpr uint32_t kIso15765 = 6;
// The pin-switched protocols: CAN and ISO 15765 on the J1962 pins that J1962_PINS names.
inline constexpr uint32_t kCanPs = 0x8004;
inline constexpr uint32_t kIso15765Ps = 0x8005;
inline constexpr uint32_t kSwIso15765Ps = 0x8007;
inline constexpr uint32_t kSwCanPs = 0x8008;

// Connect, transmit and receive flags.
inline constexpr uint32_t kTxMsgType = 0x01;  ///< RxStatus: the device's echo of a sent frame
inline constexpr uint32_t kIso15765AddrType = 0x80;  ///< extended addressing: one byte per frame
inline constexpr uint32_t kCan29BitId = 0x100;       ///< 29-bit identifier
inline constexpr uint32_t kCanIdBoth = 0x800;        ///< connect flag: 11- and 29-bit identifiers

// Filter types.
inline constexpr uint32_t kPassFilter = 1;
inline constexpr uint32_t kBlockFilter = 2;
inline constexpr uint32_t kFlowControlFilter = 3;

// Ioctl identifiers.
inline constexpr uint32_t kGetConfig = 1;
inline constexpr uint32_t kSetConfig = 2;
inline constexpr uint32_t kReadVbatt = 3;
inline constexpr uint32_t kFiveBaudInit = 4;
inline constexpr uint32_t kFastInit = 5;
inline constexpr uint32_t kClearTxBuffer = 7;
inline constexpr uint32_t kClearRxBuffer = 8;
inline constexpr uint32_t kClearPeriodicMsgs = 9;
inline constexpr uint32_t kClearMsgFilters = 10;
inline constexpr uint32_t kClearFunctMsgLookupTable = 11;  ///< J1850PWM lookup tables,
inline constexpr uint32_t kAddToFunctMsgLookupTable = 12;  ///< 11 to 13
inline constexpr uint32_t kDeleteFromFunctMsgLookupTable = 13;
inline constexpr uint32_t kReadProgVoltage = 14;
inline constexpr uint32_t kSwCanHs = 0x8000;  ///< single-wire CAN: high speed
inline constexpr uint32_t kSwCanNs = 0x8001;  ///< single-wire CAN: normal speed

// Configuration parameters.
inline constexpr uint32_t kDataRate = 1;
inline constexpr uint32_t kLoopback = 3;
inline constexpr uint32_t kJ1962Pins = 0x8001;  ///< a pin-switched channel's pins: 0xPPSS

// PassThruSetProgrammingVoltage's special values.
inline constexpr uint32_t kVoltageOff = 0xFFFFFFFF;
inline constexpr uint32_t kShortToGround = 0xFFFFFFFE;

// Status codes.
inline constexpr uint32_t kStatusNoError = 0;
inline constexpr uint32_t kErrNotSupported = 1;
inline constexpr uint32_t kErrInvalidChannelId = 2;
inline constexpr uint32_t kErrInvalidProtocolId = 3;
inline constexpr uint32_t kErrNullParameter = 4;
inline constexpr uint32_t kErrInvalidIoctlValue = 5;
inline constexpr uint32_t kErrFailed = 7;
inline constexpr uint32_t kErrDeviceNotConnected = 8;
inline constexpr uint32_t kErrTimeout = 9;
inline constexpr uint32_t kErrInvalidMsg = 10;
inline constexpr uint32_t kErrInvalidTimeInterval = 11;
inline constexpr uint32_t kErrExceededLimit = 12;
inline constexpr uint32_t kErrInvalidMsgId = 13;
inline constexpr uint32_t kErrDeviceInUse = 14;
inline constexpr uint32_t kErrInvalidIoctlId = 15;
inline constexpr uint32_t kErrBufferEmpty = 16;
inline constexpr uint32_t kErrPinInvalid = 19;
inline constexpr uint32_t kErrMsgProtocolId = 21;
inline constexpr uint32_t kErrInvalidFilterId = 22;
inline constexpr uint32_t kErrNoFlowControl = 23;
inline constexpr uint32_t kErrInvalidDeviceId = 26;

/// The protocol whose frames `protocol` carries: CAN for CAN_PS and SW_CAN_PS, ISO15765 for
/// ISO15765_PS and SW_ISO15765_PS, any other protocol itself.
constexpr uint32_t FramingOf(uint32_t protocol) {
  if (protocol == kCanPs || protocol == kSwCanPs) return kCan;
  if (protocol == kIso15765Ps || protocol == kSwIso15765Ps) return kIso15765;
  return protocol;
}

/// The size of the identifier that prefixes a CAN-like frame's data, big-endian.
inline constexpr size_t kCanIdBytes = 4;

/// CAN, ISO15765 and their pin-switched forms: frames carry the identifier as a 4-byte big-endian
/// prefix.
constexpr bool IsCanLike(uint32_t protocol) {
  return FramingOf(protocol) == kCan || FramingOf(protocol) == kIso15765;
}

/// The pin-switched protocols, which need their J1962_PINS.
constexpr bool IsPinSwitched(uint32_t protocol) {
  return FramingOf(protocol) != protocol;
}

/// The single-wire CAN protocols.
constexpr bool IsSingleWire(uint32_t protocol) {
  return protocol == kSwCanPs || protocol == kSwIso15765Ps;
}

/// The K-Line protocols ISO9141 and ISO14230.
constexpr bool IsKLine(uint32_t protocol) {
  return protocol == kIso9141 || protocol == kIso14230;
}

}  // namespace tarnix::passthru
