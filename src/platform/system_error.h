// The operating system's error codes and their texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tarnix::platform {

/// The calling thread's last system error code (GetLastError on Windows, errno elsewhere).
uint32_t LastSystemError();

/// The system's message for `code`, as the system gives it (it may end with a line break);
/// empty when the system has none.
std::string SystemMessage(uint32_t code);

/// The system's message for `code` (by default the calling thread's last error) followed by
/// " (os error N)".
std::string SystemErrorText(uint32_t code = LastSystemError());

/// The failure of system call `call`: "<call> failed: " and SystemErrorText(code).
Error CallFailed(std::string_view call, uint32_t code = LastSystemError());

}  // namespace tarnix::platform
