// Closing handles on Windows.
#include <windows.h>

#include "platform/unique_handle.h"

namespace tarnix::platform {

void CloseSystemHandle(intptr_t handle) {
  ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace tarnix::platform
