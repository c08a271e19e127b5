// The wake-up on Windows: an auto-reset event, which a successful wait lowers again.
#include <windows.h>

#include "platform/system_error.h"
#include "platform/wakeup.h"
#include "platform/win32_handle.h"

namespace tarnix::platform {

Result<Wakeup> Wakeup::Create() {
  HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) return Fail(SystemErrorText());
  return Wakeup(Own(event));
}

void Wakeup::Raise() const {
  ::SetEvent(AsHandle(handle_));
}

bool Wakeup::Wait(std::optional<std::chrono::milliseconds> timeout) const {
  const int64_t ms = WaitMilliseconds(timeout);
  const DWORD limit = ms < 0 ? INFINITE : static_cast<DWORD>(ms);
  return ::WaitForSingleObject(AsHandle(handle_), limit) == WAIT_OBJECT_0;
}

}  // namespace tarnix::platform
