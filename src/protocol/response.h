// Answers to requests and their exact compact JSON text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "wire/types.h"

namespace tarnix::protocol {

/// The data of a successful answer. monostate is null.
using Payload =
    std::variant<std::monostate, std::vector<wire::DeviceInfo>, std::vector<wire::ReceivedMessage>,
                 wire::KlineInitResult, wire::RawResult, wire::VersionInfo, std::string, uint32_t,
                 wire::Voltage, bool>;

/// A failed answer: code -1 for request failures, -999 for a caught fault.
struct Failure {
  int32_t code = -1;
  std::string message;
};

/// The result of handling one request.
using Outcome = std::variant<Payload, Failure>;

/// One answer line, before encoding.
struct Response {
  uint64_t id = 0;
  Outcome outcome;
};

/// A failure with code -1, the code of every ordinary request error.
inline Outcome RequestFailed(std::string message) {
  return Failure{-1, std::move(message)};
}

/// Encodes `response` as one compact JSON line, without the line terminator.
std::string EncodeResponse(const Response& response);

}  // namespace tarnix::protocol
