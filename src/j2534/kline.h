// K-Line initialisation: fast init, five-baud init, waiting for 0xCC, and the combined KlineInit.
#pragma once

#include <cstdint>
#include <optional>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Ioctl FAST_INIT with `data` (at most 4128 bytes, else refused with the MSG_TOO_LONG text);
/// answers the ECU's response. A success that answers no data fails in either form
/// ("ERR_J2534_FAST_INIT_FAILED: empty response").
Result<wire::ReceivedMessage, PassThruError> FastInit(const Port& connection,
                                                      const wire::Bytes& data);

/// Ioctl FIVE_BAUD_INIT with `address`; answers the keyword bytes (at most 16) as a frame.
Result<wire::ReceivedMessage, PassThruError> FiveBaudInit(const Port& connection,
                                                          const wire::Bytes& address);

/// The protocol the keyword bytes reveal: "iso9141" for 08 08 or 94 94, "unknown" for fewer than
/// two bytes, "iso14230-slow" otherwise.
const char* DetectedProtocol(const wire::Bytes& keyword_bytes);

/// Five-baud init, then up to `cc_timeout_ms` of 50 ms drains waiting for a 0xCC byte. Every
/// frame read meanwhile is part of the answer. Writes one "[j2534] kline_slow_init_with_cc: " line.
Result<wire::KlineInitResult, PassThruError> SlowInitWithCc(const Port& connection,
                                                            const wire::Bytes& address,
                                                            uint32_t cc_timeout_ms);

/// Fast (default data C1 33 F1 81 66), slow (default address 33, default cc timeout 300 ms), or
/// auto: fast, falling back to slow on any fast failure after logging it.
Result<wire::KlineInitResult, PassThruError> KlineInit(
    const Port& connection, wire::KlineInitMode mode,
    const std::optional<wire::Bytes>& fast_init_data,
    const std::optional<wire::Bytes>& five_baud_address, std::optional<uint32_t> cc_timeout_ms);

}  // namespace tarnix::j2534
