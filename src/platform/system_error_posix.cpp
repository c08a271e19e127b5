// System error texts on Linux: strerror's message and the errno value.
#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace tarnix::platform {

uint32_t LastSystemError() {
  return static_cast<uint32_t>(errno);
}

std::string SystemMessage(uint32_t code) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace tarnix::platform
