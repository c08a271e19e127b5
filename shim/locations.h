// Where the forwarding library finds the vendor library it fronts and the bridge that loads it.
#pragma once

#include <string>

#include "common/result.h"
#include "discovery/registration.h"

namespace tarnix::shim {

/// Names the vendor library and overrides any registration.
inline constexpr char kTargetVariable[] = "TARNIX_PASSTHRU_TARGET";
/// Names the bridge program and overrides the search beside the library.
inline constexpr char kBridgeVariable[] = "TARNIX_PASSTHRU_BRIDGE";

/// The vendor library: kTargetVariable when set and not empty, else the target of the
/// registrations in `source` whose library is `self` (this library's own file). Fails when none
/// names a target, or when they name different ones (one copy of this library fronts one vendor
/// library).
Result<std::string> FindTarget(const std::string& self,
                               const discovery::RegistrationSource& source);

/// The bridge that loads `target`: kBridgeVariable when set and not empty, else the first of
/// tarnix beside `self`, in ..\x86 and in ..\x64 (the release archive's folders) whose width is
/// `target`'s; read as `format` images. A target whose width cannot be read gets the bridge beside
/// `self`, which then reports why it cannot load it.
Result<std::string> FindBridge(const std::string& self, const std::string& target,
                               discovery::ImageFormat format);

}  // namespace tarnix::shim
