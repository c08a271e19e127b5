// Decoded request lines: the envelope, the methods with their names and parameters, and decoding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/result.h"
#include "wire/types.h"

namespace tarnix::protocol {

// One struct per method, each with its wire name, in wire order: the variant index of Request is
// the method number. (Translation units that see these names must not include <windows.h>, whose
// macros rename some.)
struct EnumerateDevices {
  static constexpr std::string_view kName = "EnumerateDevices";
  bool operator==(const EnumerateDevices&) const = default;
};
struct Open {
  static constexpr std::string_view kName = "Open";
  std::string dll_path;
  uint32_t protocol_id = 0;
  uint32_t baud_rate = 0;
  uint32_t connect_flags = 0;
  bool operator==(const Open&) const = default;
};
struct Close {
  static constexpr std::string_view kName = "Close";
  bool operator==(const Close&) const = default;
};
struct SendMessage {
  static constexpr std::string_view kName = "SendMessage";
  uint32_t arb_id = 0;
  wire::Bytes data;
  bool extended = false;
  bool operator==(const SendMessage&) const = default;
};
struct SendMessagesBatch {
  static constexpr std::string_view kName = "SendMessagesBatch";
  std::vector<wire::BatchMessage> messages;
  bool operator==(const SendMessagesBatch&) const = default;
};
struct WriteMessagesRaw {
  static constexpr std::string_view kName = "WriteMessagesRaw";
  std::vector<wire::BatchMessage> messages;
  uint32_t timeout_ms = 0;
  bool operator==(const WriteMessagesRaw&) const = default;
};
struct ReadMessages {
  static constexpr std::string_view kName = "ReadMessages";
  uint32_t timeout_ms = 0;
  uint32_t batch_size = 256;
  uint32_t max_drain_reads = 64;
  bool operator==(const ReadMessages&) const = default;
};
struct ReadMessagesWithLoopback {
  static constexpr std::string_view kName = "ReadMessagesWithLoopback";
  uint32_t timeout_ms = 0;
  bool operator==(const ReadMessagesWithLoopback&) const = default;
};
struct ReadMessagesRaw {
  static constexpr std::string_view kName = "ReadMessagesRaw";
  uint32_t timeout_ms = 0;
  uint32_t max_msgs = 0;
  bool operator==(const ReadMessagesRaw&) const = default;
};
struct ClearBuffers {
  static constexpr std::string_view kName = "ClearBuffers";
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
  bool operator==(const ReadBatteryVoltage&) const = default;
};
struct ReadProgrammingVoltage {
  static constexpr std::string_view kName = "ReadProgrammingVoltage";
  bool operator==(const ReadProgrammingVoltage&) const = default;
};
struct FastInit {
  static constexpr std::string_view kName = "FastInit";
  wire::Bytes data;
  bool operator==(const FastInit&) const = default;
};
struct FiveBaudInit {
  static constexpr std::string_view kName = "FiveBaudInit";
  wire::Bytes data;
  bool operator==(const FiveBaudInit&) const = default;
};
struct KlineInit {
  static constexpr std::string_view kName = "KlineInit";
  wire::KlineInitMode init_mode = wire::KlineInitMode::Fast;
  std::optional<wire::Bytes> fast_init_data;
  std::optional<wire::Bytes> five_baud_address;
  std::optional<uint32_t> cc_timeout_ms;
  bool operator==(const KlineInit&) const = default;
};
struct StartPeriodicMessage {
  static constexpr std::string_view kName = "StartPeriodicMessage";
  uint32_t arb_id = 0;
  wire::Bytes data;
  uint32_t interval_ms = 0;
  bool extended = false;
  bool operator==(const StartPeriodicMessage&) const = default;
};
struct StopPeriodicMessage {
  static constexpr std::string_view kName = "StopPeriodicMessage";
  uint32_t msg_id = 0;
  bool operator==(const StopPeriodicMessage&) const = default;
};
struct ClearPeriodicMessages {
  static constexpr std::string_view kName = "ClearPeriodicMessages";
  bool operator==(const ClearPeriodicMessages&) const = default;
};
struct AddFilter {
  static constexpr std::string_view kName = "AddFilter";
  std::string filter_type;
  wire::Bytes mask;
  wire::Bytes pattern;
  bool extended = false;
  std::optional<wire::Bytes> flow_control;  ///< the flow-control message; absent when not given
  bool operator==(const AddFilter&) const = default;
};
struct AddFilterRaw {
  static constexpr std::string_view kName = "AddFilterRaw";
  std::string filter_type;
  wire::Bytes mask;
  wire::Bytes pattern;
  bool extended = false;
  std::optional<wire::Bytes> flow_control;  ///< the flow-control message; absent when not given
  bool operator==(const AddFilterRaw&) const = default;
};
struct RemoveFilter {
  static constexpr std::string_view kName = "RemoveFilter";
  uint32_t filter_id = 0;
  bool operator==(const RemoveFilter&) const = default;
};
struct ClearFilters {
  static constexpr std::string_view kName = "ClearFilters";
  bool operator==(const ClearFilters&) const = default;
};
struct GetConfig {
  static constexpr std::string_view kName = "GetConfig";
  uint32_t parameter = 0;
  bool operator==(const GetConfig&) const = default;
};
struct SetConfig {
  static constexpr std::string_view kName = "SetConfig";
  uint32_t parameter = 0;
  uint32_t value = 0;
  bool operator==(const SetConfig&) const = default;
};
struct GetLoopback {
  static constexpr std::string_view kName = "GetLoopback";
  bool operator==(const GetLoopback&) const = default;
};
struct SetLoopback {
  static constexpr std::string_view kName = "SetLoopback";
  bool enabled = false;
  bool operator==(const SetLoopback&) const = default;
};
struct GetDataRate {
  static constexpr std::string_view kName = "GetDataRate";
  bool operator==(const GetDataRate&) const = default;
};
struct Shutdown {
  static constexpr std::string_view kName = "Shutdown";
  bool operator==(const Shutdown&) const = default;
};

/// A request: one of the methods with its parameters.
using Request =
    std::variant<EnumerateDevices, Open, Close, SendMessage, SendMessagesBatch, WriteMessagesRaw,
                 ReadMessages, ReadMessagesWithLoopback, ReadMessagesRaw, ClearBuffers, ReadVersion,
                 GetLastError, ReadBatteryVoltage, ReadProgrammingVoltage, FastInit, FiveBaudInit,
                 KlineInit, StartPeriodicMessage, StopPeriodicMessage, ClearPeriodicMessages,
                 AddFilter, AddFilterRaw, RemoveFilter, ClearFilters, GetConfig, SetConfig,
                 GetLoopback, SetLoopback, GetDataRate, Shutdown>;

inline constexpr size_t kMethodCount = std::variant_size_v<Request>;

/// A table with one entry per method, in method-number order: `entry(std::type_identity<M>())`
/// for each alternative M of Request. Tables built this way cannot fall out of step with it.
template <typename Entry>
constexpr auto PerMethod(Entry entry) {
  return [&entry]<size_t... I>(std::index_sequence<I...>) {
    return std::array{entry(std::type_identity<std::variant_alternative_t<I, Request>>())...};
  }
  (std::make_index_sequence<kMethodCount>());
}

/// The wire names by method number.
inline constexpr std::array<std::string_view, kMethodCount> kMethodNames =
    PerMethod([](auto method) { return decltype(method)::type::kName; });

/// One decoded request line.
struct Message {
  uint64_t id = 0;
  Request request;
  bool operator==(const Message&) const = default;
};

/// The wire name of method number `index` ("ReadMessages"); empty beyond the last method.
constexpr std::string_view MethodName(size_t index) {
  return index < kMethodNames.size() ? kMethodNames[index] : std::string_view();
}

/// The wire name of the request's method.
inline std::string_view MethodName(const Request& request) {
  return MethodName(request.index());
}

/// Decodes one request line (without its terminator). The error text ends with
/// " at line 1 column N"; the caller adds the "Parse error: " prefix.
Result<Message> DecodeMessage(std::string_view line);

/// A one-line human-readable rendering for the verbose log: the method name and its parameters as
/// name=value, bytes in hex ("SendMessage arb_id=0x7E0 data=[02 01 00] extended=false").
std::string RenderRequest(const Request& request);

}  // namespace tarnix::protocol
