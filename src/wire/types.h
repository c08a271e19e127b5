// The wire's plain data: what requests carry and answers hold, shared by the request decoder, the
// answer encoder and the layers below them, which parse no JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnix::wire {

using Bytes = std::vector<uint8_t>;

/// One frame to transmit, as written in SendMessagesBatch and WriteMessagesRaw.
struct BatchMessage {
  uint32_t arb_id = 0;
  Bytes data;
  bool extended = false;
  bool operator==(const BatchMessage&) const = default;
};

/// How KlineInit wakes the ECU.
enum class KlineInitMode : uint8_t { Fast, Slow, Auto };

/// One received frame as the client sees it.
struct ReceivedMessage {
  uint64_t timestamp_us = 0;  ///< as reported by the device
  uint32_t arb_id = 0;        ///< 0 for byte-stream protocols
  bool extended = false;      ///< 29-bit identifier
  std::vector<uint8_t> data;  ///< payload, without the identifier prefix
  uint32_t raw_arb_id = 0;    ///< identifier as received
  uint32_t rx_status = 0;     ///< receive status bits
  uint32_t data_size = 0;     ///< record data size, identifier bytes included
  uint32_t protocol_id = 0;   ///< protocol number of the record
  /// The device's echo of a frame sent on this connection (a TX_MSG_TYPE record, or a copy of a
  /// frame the bridge sent). Never written on the wire: it decides which reads answer the frame.
  bool echo = false;
  bool operator==(const ReceivedMessage&) const = default;
};

/// One registered vehicle interface, as listed by EnumerateDevices.
struct DeviceInfo {
  std::string name;
  std::string vendor;
  std::string dll_path;
  bool can_iso15765 = false;
  bool can_iso11898 = false;
  bool compatible = true;
  uint8_t bitness = 0;
  bool available = false;
  std::optional<std::string> unavailable_reason;
  std::string api_version;
  std::vector<std::string> supported_protocols;
  bool operator==(const DeviceInfo&) const = default;
};

/// What a K-Line initialisation found.
struct KlineInitResult {
  std::string init_method;        ///< "fast" or "slow"
  std::string detected_protocol;  ///< "iso14230-fast", "iso9141", "iso14230-slow" or "unknown"
  std::vector<uint8_t> keyword_bytes;
  bool cc_received = false;
  std::vector<ReceivedMessage> init_response;
  bool operator==(const KlineInitResult&) const = default;
};

/// A whole J2534 message record as the library held it (a 05.00 record read into the same
/// members): nothing is taken apart, cut or left out.
struct Record {
  uint32_t protocol_id = 0;
  uint32_t rx_status = 0;
  uint32_t tx_flags = 0;
  uint32_t timestamp = 0;
  uint32_t data_size = 0;  ///< as the library stated it, clamped to the data area
  uint32_t extra_data_index = 0;
  std::vector<uint8_t> data;  ///< the data area's bytes, identifier bytes included
  bool operator==(const Record&) const = default;
};

/// A library return code with a frame count, answered as data by the raw requests; a read asked
/// for its records carries them too.
struct RawResult {
  RawResult() = default;
  RawResult(int32_t status, uint32_t count) : result(status), num_msgs(count) {}
  int32_t result = 0;
  uint32_t num_msgs = 0;
  std::optional<std::vector<Record>> records;
  bool operator==(const RawResult&) const = default;
};

/// The three version texts of a device.
struct VersionInfo {
  std::string firmware_version;
  std::string dll_version;
  std::string api_version;
  bool operator==(const VersionInfo&) const = default;
};

/// Volts; written as null when not finite.
struct Voltage {
  double volts = 0.0;
};

}  // namespace tarnix::wire
