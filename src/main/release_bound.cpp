// The bound on the worker's release: its setting, and the end of a process whose worker is stuck.
#include "main/release_bound.h"

#include <algorithm>
#include <optional>
#include <string>

#include "log/log.h"
#include "platform/fault_report.h"
#include "platform/stop_request.h"

namespace tarnix::main {

std::chrono::milliseconds ReleaseGrace(const worker::EnvironmentLookup& lookup) {
  constexpr uint64_t kDefaultMs = 5000;
  constexpr uint64_t kMaxMs = 3'600'000;
  uint64_t ms = kDefaultMs;
  if (const std::optional<std::string> text = lookup("TARNIX_RELEASE_GRACE_MS")) {
    ms = std::clamp<uint64_t>(worker::ParseDecimal(*text, kMaxMs).value_or(kDefaultMs), 1, kMaxMs);
  }
  return std::chrono::milliseconds(ms);
}

void EndAfterLoaderFault() {
  LogLine(
      "[bridge] The library's start-up code raised an exception through the system's loader, "
      "which cannot be trusted any more; ending the process");
  platform::EndProcessNow(kReleaseStuckExitCode);
}

void EndStuckRelease(std::chrono::milliseconds grace) {
  const char* call = platform::CurrentCallInFlight();
  LogLine("[bridge] Worker did not end within " + std::to_string(grace.count()) +
          " ms of its release; call not returned: " + (call != nullptr ? call : "none") +
          "; ending the process");
  platform::EndProcessNow(kReleaseStuckExitCode);
}

}  // namespace tarnix::main
