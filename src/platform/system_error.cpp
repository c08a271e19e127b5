// System error texts in the one form every layer reports them.
#include "platform/system_error.h"

namespace tarnix::platform {

std::string SystemErrorText(uint32_t code) {
  return SystemMessage(code) + " (os error " + std::to_string(code) + ")";
}

Error CallFailed(std::string_view call, uint32_t code) {
  return Fail(std::string(call) + " failed: " + SystemErrorText(code));
}

}  // namespace tarnix::platform
