// Stop requests on Windows: a console control handler that records the event and raises the
// control thread's wake-up; ending the process with TerminateProcess.
#include <windows.h>

#include <atomic>

#include "platform/stop_request.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

std::atomic<const char*> g_request{nullptr};
std::atomic<const Wakeup*> g_wakeup{nullptr};

const char* EventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return "CTRL_C_EVENT";
    case CTRL_BREAK_EVENT:
      return "CTRL_BREAK_EVENT";
    case CTRL_CLOSE_EVENT:
      return "CTRL_CLOSE_EVENT";
    case CTRL_LOGOFF_EVENT:
      return "CTRL_LOGOFF_EVENT";
    case CTRL_SHUTDOWN_EVENT:
      return "CTRL_SHUTDOWN_EVENT";
    default:
      return nullptr;
  }
}

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  const char* name = EventName(event);
  if (name == nullptr) return FALSE;
  const char* none = nullptr;
  g_request.compare_exchange_strong(none, name);
  if (const Wakeup* wakeup = g_wakeup.load()) wakeup->Raise();
  // After these three the system ends the process as soon as the handler returns: wait here for
  // the control thread's orderly end instead (the system allows a few seconds).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

Result<void> RouteStopRequests(const Wakeup& wakeup) {
  g_wakeup.store(&wakeup);
  if (!::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE)) return Fail(SystemErrorText());
  return Ok();
}

const char* StopRequest() {
  return g_request.load(std::memory_order_relaxed);
}

void EndProcessNow(int code) {
  // ExitProcess would detach every library under the loader's lock, which a stuck or crashed
  // library may hold; TerminateProcess needs nothing from them.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
  ::ExitProcess(static_cast<UINT>(code));  // not reached
}

}  // namespace tarnix::platform
