// Standard error on Linux: one write(2) per text, retried until every byte is out.
#include <unistd.h>

#include <cerrno>

#include "platform/standard_error.h"

namespace tarnix::platform {

void WriteStandardError(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace tarnix::platform
