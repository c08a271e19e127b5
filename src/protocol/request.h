// Decoded request lines: the envelope, the 30 methods with their parameters, and decoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.h"

namespace tarnix::protocol {

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

// One struct per method, in wire order: the variant index of Request is the method number.
// (Translation units that see these names must not include <windows.h>, whose macros rename some.)
struct EnumerateDevices {
  bool operator==(const EnumerateDevices&) const = default;
};
struct Open {
  std::string dll_path;
  uint32_t protocol_id = 0;
  uint32_t baud_rate = 0;
  uint32_t connect_flags = 0;
  bool operator==(const Open&) const = default;
};
struct Close {
  bool operator==(const Close&) const = default;
};
struct SendMessage {
  uint32_t arb_id = 0;
  Bytes data;
  bool extended = false;
  bool operator==(const SendMessage&) const = default;
};
struct SendMessagesBatch {
  std::vector<BatchMessage> messages;
  bool operator==(const SendMessagesBatch&) const = default;
};
struct WriteMessagesRaw {
  std::vector<BatchMessage> messages;
  uint32_t timeout_ms = 0;
  bool operator==(const WriteMessagesRaw&) const = default;
};
struct ReadMessages {
  uint32_t timeout_ms = 0;
  uint32_t batch_size = 256;
  uint32_t max_drain_reads = 64;
  bool operator==(const ReadMessages&) const = default;
};
struct ReadMessagesWithLoopback {
  uint32_t timeout_ms = 0;
  bool operator==(const ReadMessagesWithLoopback&) const = default;
};
struct ReadMessagesRaw {
  uint32_t timeout_ms = 0;
  uint32_t max_msgs = 0;
  bool operator==(const ReadMessagesRaw&) const = default;
};
struct ClearBuffers {
  bool operator==(const ClearBuffers&) const = default;
};
struct ReadVersion {
  bool operator==(const ReadVersion&) const = default;
};
struct GetLastError {
  bool operator==(const GetLastError&) const = default;
};
struct ReadBatteryVoltage {
  bool operator==(const ReadBatteryVoltage&) const = default;
};
struct ReadProgrammingVoltage {
  bool operator==(const ReadProgrammingVoltage&) const = default;
};
struct FastInit {
  Bytes data;
  bool operator==(const FastInit&) const = default;
};
struct FiveBaudInit {
  Bytes data;
  bool operator==(const FiveBaudInit&) const = default;
};
struct KlineInit {
  KlineInitMode init_mode = KlineInitMode::Fast;
  std::optional<Bytes> fast_init_data;
  std::optional<Bytes> five_baud_address;
  std::optional<uint32_t> cc_timeout_ms;
  bool operator==(const KlineInit&) const = default;
};
struct StartPeriodicMessage {
  uint32_t arb_id = 0;
  Bytes data;
  uint32_t interval_ms = 0;
  bool extended = false;
  bool operator==(const StartPeriodicMessage&) const = default;
};
struct StopPeriodicMessage {
  uint32_t msg_id = 0;
  bool operator==(const StopPeriodicMessage&) const = default;
};
struct ClearPeriodicMessages {
  bool operator==(const ClearPeriodicMessages&) const = default;
};
struct AddFilter {
  std::string filter_type;
  Bytes mask;
  Bytes pattern;
  bool extended = false;
  bool operator==(const AddFilter&) const = default;
};
struct AddFilterRaw {
  std::string filter_type;
  Bytes mask;
  Bytes pattern;
  bool extended = false;
  bool operator==(const AddFilterRaw&) const = default;
};
struct RemoveFilter {
  uint32_t filter_id = 0;
  bool operator==(const RemoveFilter&) const = default;
};
struct ClearFilters {
  bool operator==(const ClearFilters&) const = default;
};
struct GetConfig {
  uint32_t parameter = 0;
  bool operator==(const GetConfig&) const = default;
};
struct SetConfig {
  uint32_t parameter = 0;
  uint32_t value = 0;
  bool operator==(const SetConfig&) const = default;
};
struct GetLoopback {
  bool operator==(const GetLoopback&) const = default;
};
struct SetLoopback {
  bool enabled = false;
  bool operator==(const SetLoopback&) const = default;
};
struct GetDataRate {
  bool operator==(const GetDataRate&) const = default;
};
struct Shutdown {
  bool operator==(const Shutdown&) const = default;
};

/// A request: one of the 30 methods with its parameters.
using Request =
    std::variant<EnumerateDevices, Open, Close, SendMessage, SendMessagesBatch, WriteMessagesRaw,
                 ReadMessages, ReadMessagesWithLoopback, ReadMessagesRaw, ClearBuffers, ReadVersion,
                 GetLastError, ReadBatteryVoltage, ReadProgrammingVoltage, FastInit, FiveBaudInit,
                 KlineInit, StartPeriodicMessage, StopPeriodicMessage, ClearPeriodicMessages,
                 AddFilter, AddFilterRaw, RemoveFilter, ClearFilters, GetConfig, SetConfig,
                 GetLoopback, SetLoopback, GetDataRate, Shutdown>;

inline constexpr size_t kMethodCount = std::variant_size_v<Request>;
static_assert(kMethodCount == 30);

/// One decoded request line.
struct Message {
  uint64_t id = 0;
  Request request;
  bool operator==(const Message&) const = default;
};

/// The wire name of method number `index` ("ReadMessages"); empty beyond the last method.
std::string_view MethodName(size_t index);

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
