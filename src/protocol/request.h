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
struct EnumerateDevices {};
struct Open {
  std::string dll_path;
  uint32_t protocol_id = 0;
  uint32_t baud_rate = 0;
  uint32_t connect_flags = 0;
};
struct Close {};
struct SendMessage {
  uint32_t arb_id = 0;
  Bytes data;
  bool extended = false;
};
struct SendMessagesBatch {
  std::vector<BatchMessage> messages;
};
struct WriteMessagesRaw {
  std::vector<BatchMessage> messages;
  uint32_t timeout_ms = 0;
};
struct ReadMessages {
  uint32_t timeout_ms = 0;
  uint32_t batch_size = 256;
  uint32_t max_drain_reads = 64;
};
struct ReadMessagesWithLoopback {
  uint32_t timeout_ms = 0;
};
struct ReadMessagesRaw {
  uint32_t timeout_ms = 0;
  uint32_t max_msgs = 0;
};
struct ClearBuffers {};
struct ReadVersion {};
struct GetLastError {};
struct ReadBatteryVoltage {};
struct ReadProgrammingVoltage {};
struct FastInit {
  Bytes data;
};
struct FiveBaudInit {
  Bytes data;
};
struct KlineInit {
  KlineInitMode init_mode = KlineInitMode::Fast;
  std::optional<Bytes> fast_init_data;
  std::optional<Bytes> five_baud_address;
  std::optional<uint32_t> cc_timeout_ms;
};
struct StartPeriodicMessage {
  uint32_t arb_id = 0;
  Bytes data;
  uint32_t interval_ms = 0;
  bool extended = false;
};
struct StopPeriodicMessage {
  uint32_t msg_id = 0;
};
struct ClearPeriodicMessages {};
struct AddFilter {
  std::string filter_type;
  Bytes mask;
  Bytes pattern;
  bool extended = false;
};
struct AddFilterRaw {
  std::string filter_type;
  Bytes mask;
  Bytes pattern;
  bool extended = false;
};
struct RemoveFilter {
  uint32_t filter_id = 0;
};
struct ClearFilters {};
struct GetConfig {
  uint32_t parameter = 0;
};
struct SetConfig {
  uint32_t parameter = 0;
  uint32_t value = 0;
};
struct GetLoopback {};
struct SetLoopback {
  bool enabled = false;
};
struct GetDataRate {};
struct Shutdown {};

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
};

/// The wire name of method number `index` ("ReadMessages"); empty beyond the last method.
std::string_view MethodName(size_t index);

/// The wire name of the request's method.
inline std::string_view MethodName(const Request& request) { return MethodName(request.index()); }

/// Decodes one request line (without its terminator). The error text ends with
/// " at line 1 column N"; the caller adds the "Parse error: " prefix.
Result<Message> DecodeMessage(std::string_view line);

/// A one-line human-readable rendering for the verbose log: the method name and its parameters as
/// name=value, bytes in hex ("SendMessage arb_id=0x7E0 data=[02 01 00] extended=false").
std::string RenderRequest(const Request& request);

}  // namespace tarnix::protocol
