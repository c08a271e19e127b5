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
#include "protocol/methods.h"

namespace tarnix::protocol {

/// A request: one of the methods with its parameters. The variant index is the method number, so
/// methods are only ever appended.
using Request =
    std::variant<EnumerateDevices, Open, Close, SendMessage, SendMessagesBatch, WriteMessagesRaw,
                 ReadMessages, ReadMessagesWithLoopback, ReadMessagesRaw, ClearBuffers, ReadVersion,
                 GetLastError, ReadBatteryVoltage, ReadProgrammingVoltage, FastInit, FiveBaudInit,
                 KlineInit, StartPeriodicMessage, StopPeriodicMessage, ClearPeriodicMessages,
                 AddFilter, AddFilterRaw, RemoveFilter, ClearFilters, GetConfig, SetConfig,
                 GetLoopback, SetLoopback, GetDataRate, Shutdown, SetProgrammingVoltage,
                 ScanDevices, ConnectChannel, DisconnectChannel, Ioctl>;

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
