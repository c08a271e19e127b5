// Parsing and bounds of the receive pump's environment settings.
#include "worker/pump_tunables.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "platform/environment.h"

namespace tarnix::worker {
namespace {

PumpTunables WithOne(const std::string& name, const std::string& value) {
  const std::map<std::string, std::string> variables{{name, value}};
  return ReadPumpTunables([&](const std::string& key) -> std::optional<std::string> {
    const auto it = variables.find(key);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  });
}

TEST(PumpTunables, DefaultsWhenNothingIsSet) {
  const PumpTunables tunables =
      ReadPumpTunables([](const std::string&) -> std::optional<std::string> { return {}; });
  EXPECT_EQ(tunables.rx_capacity, 65536u);
  EXPECT_EQ(tunables.rx_capacity_bytes, 64u << 20);
  EXPECT_EQ(tunables.poll_interval, Milliseconds(2));
  EXPECT_EQ(tunables.records_per_read, 256u);
  EXPECT_EQ(tunables.reads_per_cycle, 16u);
}

TEST(PumpTunables, EachValueIsParsedThenBounded) {
  const std::string max_u32 = std::to_string(std::numeric_limits<uint32_t>::max());
  const std::string max_u64 = std::to_string(std::numeric_limits<uint64_t>::max());
  const std::string max_size = std::to_string(std::numeric_limits<size_t>::max());
  struct Case {
    const char* variable;
    std::string value;
    uint64_t expected;
  };
  const Case cases[] = {
      {"TARNIX_PUMP_BATCH_SIZE", "0", 1},
      {"TARNIX_PUMP_BATCH_SIZE", "1000", 256},
      {"TARNIX_PUMP_BATCH_SIZE", "+64", 64},
      {"TARNIX_PUMP_BATCH_SIZE", "0064", 64},
      {"TARNIX_PUMP_BATCH_SIZE", "abc", 256},
      {"TARNIX_PUMP_BATCH_SIZE", " 64", 256},
      {"TARNIX_PUMP_BATCH_SIZE", "64 ", 256},
      {"TARNIX_PUMP_BATCH_SIZE", "", 256},
      {"TARNIX_PUMP_MAX_DRAIN_READS", "8", 8},
      {"TARNIX_PUMP_MAX_DRAIN_READS", "0", 1},
      {"TARNIX_PUMP_MAX_DRAIN_READS", max_u32, 256},
      {"TARNIX_PUMP_MAX_DRAIN_READS", "4294967296", 16},  // overflows 32 bits: the default
      {"TARNIX_PUMP_MAX_DRAIN_READS", "+", 16},
      {"TARNIX_PUMP_MAX_DRAIN_READS", "++5", 16},
      {"TARNIX_PUMP_MAX_DRAIN_READS", "-0", 16},
      {"TARNIX_PUMP_MAX_DRAIN_READS", "0x10", 16},
      {"TARNIX_POLL_INTERVAL_MS", "0", 1},
      {"TARNIX_POLL_INTERVAL_MS", "-5", 2},
      {"TARNIX_POLL_INTERVAL_MS", "25", 25},
      {"TARNIX_POLL_INTERVAL_MS", max_u64, std::numeric_limits<uint64_t>::max()},
      {"TARNIX_POLL_INTERVAL_MS", max_u64 + "0", 2},
      {"TARNIX_RX_CAPACITY", "0", 1},
      {"TARNIX_RX_CAPACITY", "3", 3},
      {"TARNIX_RX_CAPACITY", max_size, std::numeric_limits<size_t>::max()},
      {"TARNIX_RX_CAPACITY", max_size + "0", 65536},
      {"TARNIX_RX_CAPACITY", "1e3", 65536},
      {"TARNIX_RX_CAPACITY_BYTES", "0", 1},
      {"TARNIX_RX_CAPACITY_BYTES", "4096", 4096},
      {"TARNIX_RX_CAPACITY_BYTES", max_size, std::numeric_limits<size_t>::max()},
      {"TARNIX_RX_CAPACITY_BYTES", max_size + "0", 64u << 20},
  };
  for (const Case& c : cases) {
    const PumpTunables t = WithOne(c.variable, c.value);
    const std::string name = c.variable;
    const uint64_t got = name == "TARNIX_PUMP_BATCH_SIZE"        ? t.records_per_read
                         : name == "TARNIX_PUMP_MAX_DRAIN_READS" ? t.reads_per_cycle
                         : name == "TARNIX_POLL_INTERVAL_MS"     ? t.poll_interval.count()
                         : name == "TARNIX_RX_CAPACITY_BYTES"    ? uint64_t{t.rx_capacity_bytes}
                                                                 : uint64_t{t.rx_capacity};
    EXPECT_EQ(got, c.expected) << c.variable << "=\"" << c.value << "\"";
  }
}

TEST(PumpTunables, ReadsThisProcesssEnvironment) {
  platform::SetEnvironment("TARNIX_PUMP_BATCH_SIZE", "+32");
  platform::SetEnvironment("TARNIX_RX_CAPACITY", "0");
  const PumpTunables tunables = ReadPumpTunables();
  platform::SetEnvironment("TARNIX_PUMP_BATCH_SIZE", std::nullopt);
  platform::SetEnvironment("TARNIX_RX_CAPACITY", std::nullopt);
  EXPECT_EQ(tunables.records_per_read, 32u);
  EXPECT_EQ(tunables.rx_capacity, 1u);
}

}  // namespace
}  // namespace tarnix::worker
