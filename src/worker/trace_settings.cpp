// Reading a connection's trace settings from the environment.
#include "worker/trace_settings.h"

#include <algorithm>
#include <limits>

#include "platform/environment.h"

namespace tarnix::worker {
namespace {

constexpr uint64_t kDefaultMegabytes = 256;
constexpr uint64_t kBytesPerMegabyte = uint64_t{1} << 20;

}  // namespace

j2534::TraceSettings ReadTraceSettings(const EnvironmentLookup& lookup) {
  j2534::TraceSettings settings;
  settings.path = lookup("TARNIX_TRACE").value_or("");
  constexpr uint64_t kMaxMegabytes = std::numeric_limits<uint64_t>::max() / kBytesPerMegabyte;
  uint64_t megabytes = kDefaultMegabytes;
  if (const std::optional<std::string> text = lookup("TARNIX_TRACE_MAX_MB")) {
    megabytes = ParseDecimal(*text, kMaxMegabytes).value_or(kDefaultMegabytes);
  }
  settings.max_bytes = std::max<uint64_t>(megabytes, 1) * kBytesPerMegabyte;
  return settings;
}

j2534::TraceSettings ReadTraceSettings() {
  return ReadTraceSettings(&platform::GetEnvironment);
}

}  // namespace tarnix::worker
