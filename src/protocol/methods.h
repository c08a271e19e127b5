// The methods of the wire, one struct each with its wire name and parameters, in method-number
// order. A method that acts on a channel has `channel` last: the channel's number, or absent for
// the one Open connected. (Translation units that see these names must not include <windows.h>,
// whose macros rename some.)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/params.h"

namespace tarnix::protocol {

struct EnumerateDevices {
  static constexpr std::string_view kName = "EnumerateDevices";
  bool operator==(const EnumerateDevices&) const = default;
};
struct Open {
  static constexpr std::string_view kName = "Open";
  std::string dll_path = {};
  std::optional<uint32_t> protocol_id = {};  ///< absent (with baud_rate): the device alone
  std::optional<uint32_t> baud_rate = {};
  uint32_t connect_flags = 0;
  std::optional<std::string> device_name = {};  ///< PassThruOpen's name; absent: null
  std::optional<Bytes> j1962_pins = {};         ///< the channel's two J1962 pins
  bool operator==(const Open&) const = default;
};
struct Close {
  static constexpr std::string_view kName = "Close";
  bool operator==(const Close&) const = default;
};
struct SendMessage {
  static constexpr std::string_view kName = "SendMessage";
  uint32_t arb_id = 0;
  Bytes data = {};
  bool extended = false;
  std::optional<uint32_t> channel = {};
  bool operator==(const SendMessage&) const = default;
};
struct SendMessagesBatch {
  static constexpr std::string_view kName = "SendMessagesBatch";
  std::vector<BatchMessage> messages = {};
  std::optional<uint32_t> channel = {};
  bool operator==(const SendMessagesBatch&) const = default;
};
struct WriteMessagesRaw {
  static constexpr std::string_view kName = "WriteMessagesRaw";
  std::vector<BatchMessage> messages = {};
  uint32_t timeout_ms = 0;
  std::optional<std::vector<RecordParam>> records = {};  ///< written instead of `messages`
  std::optional<uint32_t> channel = {};
  bool operator==(const WriteMessagesRaw&) const = default;
};
struct ReadMessages {
  static constexpr std::string_view kName = "ReadMessages";
  uint32_t timeout_ms = 0;
  uint32_t batch_size = 256;
  uint32_t max_drain_reads = 64;
  std::optional<uint32_t> channel = {};
  bool operator==(const ReadMessages&) const = default;
};
struct ReadMessagesWithLoopback {
  static constexpr std::string_view kName = "ReadMessagesWithLoopback";
  uint32_t timeout_ms = 0;
  std::optional<uint32_t> channel = {};
  bool operator==(const ReadMessagesWithLoopback&) const = default;
};
struct ReadMessagesRaw {
  static constexpr std::string_view kName = "ReadMessagesRaw";
  uint32_t timeout_ms = 0;
  uint32_t max_msgs = 0;
  bool as_records = false;  ///< one call, its records answered
  std::optional<uint32_t> channel = {};
  bool operator==(const ReadMessagesRaw&) const = default;
};
struct ClearBuffers {
  static constexpr std::string_view kName = "ClearBuffers";
  std::optional<BufferChoice> buffer = {};  ///< absent: both queues
  std::optional<uint32_t> channel = {};
  bool operator==(const ClearBuffers&) const = default;
};
struct ReadVersion {
  static constexpr std::string_view kName = "ReadVersion";
  bool operator==(const ReadVersion&) const = default;
};
struct GetLastError {
  static constexpr std::string_view kName = "GetLastError";
  bool operator==(const GetLastError&) const = default;
};
struct ReadBatteryVoltage {
  static constexpr std::string_view kName = "ReadBatteryVoltage";
  bool device = false;  ///< ask the device alone
  std::optional<uint32_t> channel = {};
  bool operator==(const ReadBatteryVoltage&) const = default;
};
struct ReadProgrammingVoltage {
  static constexpr std::string_view kName = "ReadProgrammingVoltage";
  bool device = false;  ///< ask the device alone
  std::optional<uint32_t> channel = {};
  bool operator==(const ReadProgrammingVoltage&) const = default;
};
struct FastInit {
  static constexpr std::string_view kName = "FastInit";
  Bytes data = {};
  std::optional<RecordParam> record = {};  ///< sent instead of `data`
  bool as_records = false;                 ///< answer the response as a record
  std::optional<uint32_t> channel = {};
  bool operator==(const FastInit&) const = default;
};
struct FiveBaudInit {
  static constexpr std::string_view kName = "FiveBaudInit";
  Bytes data = {};
  std::optional<uint32_t> channel = {};
  bool operator==(const FiveBaudInit&) const = default;
};
struct KlineInit {
  static constexpr std::string_view kName = "KlineInit";
  KlineInitMode init_mode = KlineInitMode::Fast;
  std::optional<Bytes> fast_init_data = {};
  std::optional<Bytes> five_baud_address = {};
  std::optional<uint32_t> cc_timeout_ms = {};
  std::optional<uint32_t> channel = {};
  bool operator==(const KlineInit&) const = default;
};
struct StartPeriodicMessage {
  static constexpr std::string_view kName = "StartPeriodicMessage";
  uint32_t arb_id = 0;
  Bytes data = {};
  uint32_t interval_ms = 0;
  bool extended = false;
  std::optional<RecordParam> record = {};  ///< sent instead of arb_id, data, extended
  std::optional<uint32_t> channel = {};
  bool operator==(const StartPeriodicMessage&) const = default;
};
struct StopPeriodicMessage {
  static constexpr std::string_view kName = "StopPeriodicMessage";
  uint32_t msg_id = 0;
  std::optional<uint32_t> channel = {};
  bool operator==(const StopPeriodicMessage&) const = default;
};
struct ClearPeriodicMessages {
  static constexpr std::string_view kName = "ClearPeriodicMessages";
  std::optional<uint32_t> channel = {};
  bool operator==(const ClearPeriodicMessages&) const = default;
};
struct AddFilter {
  static constexpr std::string_view kName = "AddFilter";
  std::string filter_type = {};
  Bytes mask = {};
  Bytes pattern = {};
  bool extended = false;
  std::optional<Bytes> flow_control = {};  ///< the flow-control message; absent when not given
  std::optional<uint32_t> channel = {};
  bool operator==(const AddFilter&) const = default;
};
struct AddFilterRaw {
  static constexpr std::string_view kName = "AddFilterRaw";
  std::string filter_type = {};
  Bytes mask = {};
  Bytes pattern = {};
  bool extended = false;
  std::optional<Bytes> flow_control = {};       ///< the flow-control message; absent when not given
  std::optional<uint32_t> filter_number = {};   ///< a numeric filter_type (filter_type then empty)
  std::optional<RecordParam> mask_record = {};  ///< instead of mask and extended
  std::optional<RecordParam> pattern_record = {};
  std::optional<RecordParam> flow_control_record = {};
  std::optional<uint32_t> channel = {};
  bool operator==(const AddFilterRaw&) const = default;
};
struct RemoveFilter {
  static constexpr std::string_view kName = "RemoveFilter";
  uint32_t filter_id = 0;
  std::optional<uint32_t> channel = {};
  bool operator==(const RemoveFilter&) const = default;
};
struct ClearFilters {
  static constexpr std::string_view kName = "ClearFilters";
  std::optional<uint32_t> channel = {};
  bool operator==(const ClearFilters&) const = default;
};
struct GetConfig {
  static constexpr std::string_view kName = "GetConfig";
  uint32_t parameter = 0;
  std::optional<std::vector<uint32_t>> parameters = {};  ///< several, in one list
  std::optional<uint32_t> channel = {};
  bool operator==(const GetConfig&) const = default;
};
struct SetConfig {
  static constexpr std::string_view kName = "SetConfig";
  uint32_t parameter = 0;
  uint32_t value = 0;
  std::optional<std::vector<ConfigEntry>> parameters = {};  ///< several, in one list
  std::optional<uint32_t> channel = {};
  bool operator==(const SetConfig&) const = default;
};
struct GetLoopback {
  static constexpr std::string_view kName = "GetLoopback";
  std::optional<uint32_t> channel = {};
  bool operator==(const GetLoopback&) const = default;
};
struct SetLoopback {
  static constexpr std::string_view kName = "SetLoopback";
  bool enabled = false;
  std::optional<uint32_t> channel = {};
  bool operator==(const SetLoopback&) const = default;
};
struct GetDataRate {
  static constexpr std::string_view kName = "GetDataRate";
  std::optional<uint32_t> channel = {};
  bool operator==(const GetDataRate&) const = default;
};
struct Shutdown {
  static constexpr std::string_view kName = "Shutdown";
  bool operator==(const Shutdown&) const = default;
};
struct SetProgrammingVoltage {
  static constexpr std::string_view kName = "SetProgrammingVoltage";
  uint32_t pin = 0;
  uint32_t voltage = 0;  ///< millivolts, kVoltageOff or kShortToGround
  bool operator==(const SetProgrammingVoltage&) const = default;
};
struct ScanDevices {
  static constexpr std::string_view kName = "ScanDevices";
  std::string dll_path = {};
  bool operator==(const ScanDevices&) const = default;
};
struct ConnectChannel {
  static constexpr std::string_view kName = "ConnectChannel";
  uint32_t protocol_id = 0;
  uint32_t baud_rate = 0;
  uint32_t connect_flags = 0;
  std::optional<Bytes> j1962_pins = {};
  bool buffered = true;  ///< false: read only when a request asks
  bool operator==(const ConnectChannel&) const = default;
};
struct DisconnectChannel {
  static constexpr std::string_view kName = "DisconnectChannel";
  uint32_t channel = 0;
  bool operator==(const DisconnectChannel&) const = default;
};
struct Ioctl {
  static constexpr std::string_view kName = "Ioctl";
  wire::IoctlCall call = {};  ///< the ioctl, its input and the output expected
  std::optional<uint32_t> channel = {};
  bool device = false;  ///< on the device rather than a channel
  bool operator==(const Ioctl&) const = default;
};

}  // namespace tarnix::protocol
