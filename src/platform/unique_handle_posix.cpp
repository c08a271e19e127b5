// Closing descriptors on Linux.
#include <unistd.h>

#include "platform/unique_handle.h"

namespace tarnix::platform {

void CloseSystemHandle(intptr_t handle) {
  ::close(static_cast<int>(handle));
}

}  // namespace tarnix::platform
