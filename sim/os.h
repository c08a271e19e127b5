// The little ptsim needs from the operating system, kept out of the portable simulation.
#pragma once

#include <optional>
#include <string>

namespace tarnix::sim::os {

/// The process environment's current value of `name` in UTF-8 (not a copy taken at start-up, so
/// a test may change it between two PassThruOpen calls); nullopt when it is not set.
std::optional<std::string> GetEnv(const char* name);

}  // namespace tarnix::sim::os
