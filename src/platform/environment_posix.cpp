// Environment variables on Linux; values that are not UTF-8 count as absent.
#include <stdlib.h>

#include "common/text.h"
#include "platform/environment.h"

namespace tarnix::platform {

std::optional<std::string> GetEnvironment(const std::string& name) {
  const char* value = ::getenv(name.c_str());
  if (value == nullptr || !IsValidUtf8(value)) return std::nullopt;
  return std::string(value);
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

std::optional<std::string> UserCacheFolder() {
  // A relative XDG_CACHE_HOME is invalid by that convention and is ignored.
  auto xdg = GetEnvironment("XDG_CACHE_HOME");
  if (xdg && xdg->starts_with('/')) return xdg;
  auto home = GetEnvironment("HOME");
  if (!home || home->empty()) return std::nullopt;
  return *home + "/.cache";
}

}  // namespace tarnix::platform
