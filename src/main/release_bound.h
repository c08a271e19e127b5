// How long the bridge waits for its worker to end once it lets go of it, and what it does when a
// library call holds the worker beyond that.
#pragma once

#include <chrono>

#include "worker/pump_tunables.h"
#include "worker/worker.h"

namespace tarnix::main {

/// The exit code of a bridge ended because its worker did not end within the grace period, or
/// could not be released at all.
inline constexpr int kReleaseStuckExitCode = 3;

/// The grace period: "TARNIX_RELEASE_GRACE_MS" (1 to 3,600,000), else 5000 ms.
std::chrono::milliseconds ReleaseGrace(const worker::EnvironmentLookup& lookup);

/// Writes one line saying that a library's start-up code threw out of the system's loader, then
/// ends the process at once with kReleaseStuckExitCode: an ordinary end would wait for a loader
/// lock that nobody will release.
[[noreturn]] void EndAfterLoaderFault();

/// Writes one line naming the library call that has not returned, then ends the process at once
/// with kReleaseStuckExitCode, so that the system frees the device for the next session.
[[noreturn]] void EndStuckRelease(std::chrono::milliseconds grace);

}  // namespace tarnix::main
