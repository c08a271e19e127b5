// Stop requests on Linux: handlers for SIGINT, SIGTERM and SIGHUP that record the signal and raise
// the control thread's wake-up; ending the process with _exit.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/stop_request.h"
#include "platform/stop_signals_posix.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<const char*> g_request{nullptr};
std::atomic<const Wakeup*> g_wakeup{nullptr};

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "SIGHUP";
  }
}

// Async-signal-safe: atomic stores and Wakeup::Raise (one write(2)); errno is kept for the code
// the signal interrupted.
void OnStopSignal(int signal) {
  const int saved = errno;
  const char* none = nullptr;
  g_request.compare_exchange_strong(none, SignalName(signal));
  if (const Wakeup* wakeup = g_wakeup.load()) wakeup->Raise();
  errno = saved;
}

}  // namespace

void BlockStopSignals(sigset_t* previous) {
  sigset_t blocked;
  ::sigemptyset(&blocked);
  for (int signal : kStopSignals)
    ::sigaddset(&blocked, signal);
  ::pthread_sigmask(SIG_BLOCK, &blocked, previous);
}

Result<void> RouteStopRequests(const Wakeup& wakeup) {
  g_wakeup.store(&wakeup);
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  ::sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking call of the control thread returns EINTR and looks again.
  action.sa_flags = 0;
  for (int signal : kStopSignals) {
    if (::sigaction(signal, &action, nullptr) != 0) return Fail(SystemErrorText());
  }
  return Ok();
}

const char* StopRequest() {
  return g_request.load(std::memory_order_relaxed);
}

void EndProcessNow(int code) {
  ::_exit(code);
}

}  // namespace tarnix::platform
