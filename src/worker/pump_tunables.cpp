// Parsing and bounding the receive pump's environment settings.
#include "worker/pump_tunables.h"

#include <algorithm>
#include <limits>

#include "platform/environment.h"

namespace tarnix::worker {
namespace {

/// The variable parsed as a number of at most `max`, or `fallback` when absent or unparsable.
uint64_t Setting(const EnvironmentLookup& lookup, const char* name, uint64_t max,
                 uint64_t fallback) {
  const std::optional<std::string> text = lookup(name);
  if (!text) return fallback;
  return ParseDecimal(*text, max).value_or(fallback);
}

/// Zero becomes one; above `ceiling` becomes `ceiling`.
uint64_t Bound(uint64_t value, uint64_t ceiling) {
  return std::clamp<uint64_t>(value, 1, ceiling);
}

}  // namespace

std::optional<uint64_t> ParseDecimal(std::string_view text, uint64_t max) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

PumpTunables ReadPumpTunables(const EnvironmentLookup& lookup) {
  constexpr uint64_t kSizeMax = std::numeric_limits<size_t>::max();
  constexpr uint64_t kU32Max = std::numeric_limits<uint32_t>::max();
  constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();
  const PumpTunables defaults;
  PumpTunables tunables;
  tunables.rx_capacity = static_cast<size_t>(
      Bound(Setting(lookup, "TARNIX_RX_CAPACITY", kSizeMax, defaults.rx_capacity), kSizeMax));
  tunables.rx_capacity_bytes = static_cast<size_t>(Bound(
      Setting(lookup, "TARNIX_RX_CAPACITY_BYTES", kSizeMax, defaults.rx_capacity_bytes), kSizeMax));
  tunables.poll_interval = Milliseconds(
      Bound(Setting(lookup, "TARNIX_POLL_INTERVAL_MS", kU64Max, defaults.poll_interval.count()),
            kU64Max));
  tunables.records_per_read = static_cast<uint32_t>(
      Bound(Setting(lookup, "TARNIX_PUMP_BATCH_SIZE", kU32Max, defaults.records_per_read), 256));
  tunables.reads_per_cycle = static_cast<uint32_t>(Bound(
      Setting(lookup, "TARNIX_PUMP_MAX_DRAIN_READS", kU32Max, defaults.reads_per_cycle), 256));
  return tunables;
}

PumpTunables ReadPumpTunables() {
  return ReadPumpTunables(&platform::GetEnvironment);
}

}  // namespace tarnix::worker
