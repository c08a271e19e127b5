// The four environment settings of the receive pump, parsed and bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "worker/worker.h"

namespace tarnix::worker {

/// How the receive pump reads and how much it keeps. Read once per worker.
struct PumpTunables {
  size_t rx_capacity = 65536;                   ///< frames held at most; at least 1
  size_t rx_capacity_bytes = size_t{64} << 20;  ///< payload bytes held at most; at least 1
  Milliseconds poll_interval{2};    ///< idle wait, and the longest single wait while reading
  uint32_t records_per_read = 256;  ///< records per PassThruReadMsgs call, 1..256
  uint32_t reads_per_cycle = 16;    ///< PassThruReadMsgs calls per pump cycle, 1..256
  bool operator==(const PumpTunables&) const = default;
};

/// Looks up an environment variable: its text, or nullopt when absent or not valid text.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

/// Reads "TARNIX_RX_CAPACITY", "TARNIX_RX_CAPACITY_BYTES", "TARNIX_POLL_INTERVAL_MS",
/// "TARNIX_PUMP_BATCH_SIZE" and "TARNIX_PUMP_MAX_DRAIN_READS". An absent or unparsable value takes
/// its default; a parsed one is clamped to its bounds. Never fails.
PumpTunables ReadPumpTunables(const EnvironmentLookup& lookup);

/// The same, from this process's environment.
PumpTunables ReadPumpTunables();

/// A decimal number: an optional "+" then one or more digits 0-9, nothing else. nullopt when the
/// text is not of that form or the number exceeds `max`.
std::optional<uint64_t> ParseDecimal(std::string_view text, uint64_t max);

}  // namespace tarnix::worker
