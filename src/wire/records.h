// The wire's data beyond frames: whole records in both directions, parameter lists, scanned
// devices, and what a typed ioctl takes and gives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wire/types.h"

namespace tarnix::wire {

/// A whole J2534 message record as a request gives it: every member but the data may be left
/// out, and the protocol then comes from the channel the request names.
struct RecordParam {
  std::optional<uint32_t> protocol_id;
  uint32_t rx_status = 0;
  uint32_t tx_flags = 0;
  uint32_t timestamp = 0;
  uint32_t extra_data_index = 0;
  Bytes data;
  bool operator==(const RecordParam&) const = default;
};

/// One entry of an SCONFIG list.
struct ConfigEntry {
  uint32_t parameter = 0;
  uint32_t value = 0;
  bool operator==(const ConfigEntry&) const = default;
};

/// One device a library's scan found: its name and the other SDEVICE fields as it filled them.
struct ScannedDevice {
  std::string name;
  uint32_t available = 0;
  uint32_t dll_fw_status = 0;
  uint32_t connect_media = 0;
  uint32_t connect_speed = 0;
  uint32_t signal_quality = 0;
  uint32_t signal_strength = 0;
  bool operator==(const ScannedDevice&) const = default;
};

/// Bytes answered as an array of numbers (an ioctl's SBYTE_ARRAY output).
struct ByteList {
  Bytes bytes;
  bool operator==(const ByteList&) const = default;
};

/// Which of a channel's device queues ClearBuffers clears: both unless one is named.
enum class BufferChoice : uint8_t { Tx, Rx };

/// What an ioctl writes through its output pointer.
enum class IoctlOutput : uint8_t { None, Number, Bytes, Parameters, Record };

/// One ioctl the bridge serves through no method of its own: its id, at most one input of a
/// declared kind, and the kind of output expected.
struct IoctlCall {
  uint32_t ioctl_id = 0;
  std::optional<std::vector<ConfigEntry>> input_parameters = {};
  std::optional<Bytes> input_bytes = {};
  std::optional<RecordParam> input_record = {};
  std::optional<uint32_t> input_number = {};
  IoctlOutput output = IoctlOutput::None;
  /// The parameters of an output parameter list; absent with an input list: that list, in place.
  std::optional<std::vector<uint32_t>> output_parameters = {};
  bool operator==(const IoctlCall&) const = default;
};

}  // namespace tarnix::wire
