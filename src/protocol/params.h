// The wire's value types that request parameters and answers hold, by their names in the
// protocol's namespace, and the words that stand for numbers.
#pragma once

#include <cstdint>

#include "passthru/numbers.h"
#include "wire/records.h"
#include "wire/types.h"

namespace tarnix::protocol {

using wire::BatchMessage;
using wire::BufferChoice;
using wire::ByteList;
using wire::Bytes;
using wire::ConfigEntry;
using wire::DeviceInfo;
using wire::IoctlCall;
using wire::IoctlOutput;
using wire::KlineInitMode;
using wire::KlineInitResult;
using wire::RawResult;
using wire::ReceivedMessage;
using wire::Record;
using wire::RecordParam;
using wire::ScannedDevice;
using wire::VersionInfo;
using wire::Voltage;

/// PassThruSetProgrammingVoltage's two voltages that are no voltage, by their wire words.
inline constexpr uint32_t kVoltageOff = passthru::kVoltageOff;
inline constexpr uint32_t kShortToGround = passthru::kShortToGround;

}  // namespace tarnix::protocol
