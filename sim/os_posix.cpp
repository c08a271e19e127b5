// Environment access for ptsim on Linux.
#include <cstdlib>

#include "sim/os.h"

namespace tarnix::sim::os {

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace tarnix::sim::os
