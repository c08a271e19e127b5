// Environment variables, as UTF-8 text, and the per-user folders they name.
#pragma once

#include <optional>
#include <string>

namespace tarnix::platform {

/// The value of variable `name`; nullopt when it is absent or its value is not valid Unicode.
std::optional<std::string> GetEnvironment(const std::string& name);

/// Sets variable `name` for this process and the children it starts later; nullopt removes it.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

/// The folder in which this user's programs keep caches, by this system's convention:
/// LOCALAPPDATA on Windows; on Linux XDG_CACHE_HOME when it holds an absolute path, else
/// "$HOME/.cache" (nullopt when HOME is empty too). nullopt when the variables needed are unset
/// or not valid Unicode. Read at each call.
std::optional<std::string> UserCacheFolder();

}  // namespace tarnix::platform
