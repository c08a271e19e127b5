// A frame as the simulated device handles it, and the outcome of a device operation.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "passthru/numbers.h"

namespace tarnix::sim {

/// One message on a channel, independent of the 04.04 or 05.00 record it came in or goes out in.
/// On CAN-like protocols `data` starts with the 4-byte big-endian identifier.
struct Frame {
  uint32_t protocol = 0;
  uint32_t rx_status = 0;
  uint32_t tx_flags = 0;
  uint32_t timestamp = 0;  ///< microseconds since the device was opened
  std::vector<uint8_t> data;
};

/// A J2534 status and, when it is not STATUS_NOERROR, why: the sentence PassThruGetLastError gives.
struct Status {
  uint32_t code = 0;
  std::string reason;

  bool ok() const { return code == 0; }
};

/// A refusal with status `code` because of `reason`.
inline Status Refuse(uint32_t code, std::string reason) {
  return Status{code, std::move(reason)};
}

/// ERR_NULL_PARAMETER because of `reason`: a pointer the call needs is null.
inline Status NullParameter(std::string reason) {
  return Refuse(passthru::kErrNullParameter, std::move(reason));
}

/// The identifier of a CAN-like frame (its first four bytes, big-endian); 0 when it is shorter.
inline uint32_t FrameId(const std::vector<uint8_t>& data) {
  if (data.size() < 4) return 0;
  return (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) | (uint32_t{data[2]} << 8) | data[3];
}

/// `id` as four big-endian bytes followed by `payload`.
inline std::vector<uint8_t> WithId(uint32_t id, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> data(4 + payload.size());
  for (size_t i = 0; i < 4; ++i)
    data[i] = static_cast<uint8_t>(id >> (24 - 8 * i));
  for (size_t i = 0; i < payload.size(); ++i)
    data[4 + i] = payload[i];
  return data;
}

}  // namespace tarnix::sim
