// Environment variables, as UTF-8 text.
#pragma once

#include <optional>
#include <string>

namespace tarnix::platform {

/// The value of variable `name`; nullopt when it is absent or its value is not valid Unicode.
std::optional<std::string> GetEnvironment(const std::string& name);

/// Sets variable `name` for this process and the children it starts later; nullopt removes it.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

}  // namespace tarnix::platform
