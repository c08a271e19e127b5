// The system asking the program to end: signals on Linux, console control events on Windows; and
// ending the process at once when an orderly end cannot finish.
#pragma once

#include "common/result.h"
#include "platform/wakeup.h"

namespace tarnix::platform {

/// From now on SIGINT, SIGTERM and SIGHUP (Linux), or the console's Ctrl+C, Ctrl+Break, close,
/// log-off and shut-down events (Windows), no longer end the process: the first one is recorded
/// for StopRequest() and raises `wakeup`, which must live until the process ends. Threads started
/// afterwards through Thread never receive these signals (nor threads they start), so a vendor
/// library's calls are never interrupted by them. Where a console event ends the process once its
/// handler returns (close, log-off, shut-down), the handler waits for the program to end itself
/// by EndProcessNow or by returning from main.
Result<void> RouteStopRequests(const Wakeup& wakeup);

/// The name of the first stop request received ("SIGTERM", "CTRL_C_EVENT"), or nullptr when none
/// arrived. Cheap: one atomic load.
const char* StopRequest();

/// The exit code of a process ended by a stop request, after its orderly release.
inline constexpr int kStopRequestedExitCode = 2;

/// Ends the process at once with `code`: no exit handlers, no library unloads, no waiting for
/// other threads (a stuck or crashed library may hold the loader's lock, which an ordinary exit
/// needs). Whatever must reach standard error has to be written before.
[[noreturn]] void EndProcessNow(int code);

}  // namespace tarnix::platform
