// Writing and removing registrations of our forwarding library, where this system's J2534
// applications look for interfaces. Used by the registration command, never by the bridge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "discovery/registration.h"

namespace tarnix::discovery {

/// The widths whose applications have registrations of their own: 64 and 32 on Windows (the two
/// registry views), this build's width on Linux (one folder).
std::vector<uint8_t> RegistrationWidths();

/// Writes `registration` (own_name, name, vendor, library, target, protocols) for the
/// applications of width `bits`, replacing one of the same own_name: on Windows the key
/// PassThruSupport.04.04\<own_name> in that width's registry view, with the values Name, Vendor,
/// FunctionLibrary, kTargetValue and the protocol values given; on Linux the file
/// <own_name>.json in $HOME/.passthru (made for its user alone), with the matching members.
/// Answers where it was written.
Result<std::string> WriteRegistration(const Registration& registration, uint8_t bits);

/// Removes what WriteRegistration writes for `own_name`, for every width; answers where it was
/// removed from (nothing: there was none).
Result<std::vector<std::string>> RemoveRegistration(const std::string& own_name);

}  // namespace tarnix::discovery
