// Answers to requests and their exact compact JSON text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "protocol/params.h"
#include "wire/records.h"
#include "wire/types.h"

namespace tarnix::protocol {

/// The data of a successful answer. monostate is null.
using Payload =
    std::variant<std::monostate, std::vector<wire::DeviceInfo>, std::vector<wire::ReceivedMessage>,
                 wire::KlineInitResult, wire::RawResult, wire::VersionInfo, std::string, uint32_t,
                 wire::Voltage, bool, std::vector<wire::Record>, wire::Record,
                 std::vector<wire::ConfigEntry>, std::vector<wire::ScannedDevice>, wire::ByteList>;

/// A failed answer: code -1 for request failures, -999 for a caught fault. A failure that comes
/// from a J2534 status carries it ("j2534Status").
struct Failure {
  int32_t code = -1;
  std::string message;
  std::optional<uint32_t> j2534_status = std::nullopt;
};

/// The result of handling one request.
using Outcome = std::variant<Payload, Failure>;

/// One answer line, before encoding.
struct Response {
  uint64_t id = 0;
  Outcome outcome;
};

/// A failure with code -1, the code of every ordinary request error.
inline Outcome RequestFailed(std::string message,
                             std::optional<uint32_t> j2534_status = std::nullopt) {
  return Failure{-1, std::move(message), j2534_status};
}

/// Encodes `response` as one compact JSON line, without the line terminator.
std::string EncodeResponse(const Response& response);

}  // namespace tarnix::protocol
