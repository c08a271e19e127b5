// The process-wide verbose flag that turns on per-request logging.
#pragma once

#include <optional>
#include <string>

namespace tarnix::main {

/// Whether TARNIX_VERBOSE asks for request logging; read from the environment on the first call
/// only.
bool Verbose();

/// The rule applied to the variable's value: exactly "1", or "true" in any letter case.
bool VerboseValueEnables(const std::optional<std::string>& value);

}  // namespace tarnix::main
