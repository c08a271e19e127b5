// Windows handles held in a SystemHandle, for the *_win32.cpp files only.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace tarnix::platform {

/// The HANDLE that `handle` holds (INVALID_HANDLE_VALUE when none).
inline HANDLE AsHandle(const SystemHandle& handle) {
  return reinterpret_cast<HANDLE>(handle.get());
}

/// Takes ownership of `handle`; INVALID_HANDLE_VALUE gives a holder of none.
inline SystemHandle Own(HANDLE handle) {
  return SystemHandle(reinterpret_cast<intptr_t>(handle));
}

}  // namespace tarnix::platform
