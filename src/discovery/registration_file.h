// Linux registration files: one JSON object per interface, read as a registration.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "discovery/registration.h"

namespace tarnix::discovery {

/// Files larger than this are no registration file and are not read.
inline constexpr uint64_t kMaxRegistrationFileBytes = 64 * 1024;

/// The registration that a registration file's `text` holds: the string members NAME, VENDOR,
/// FUNCTION_LIB and TARNIX_TARGET as name, vendor, library and target, and each protocol member (as
/// named in kProtocolValues) given as true/false or as a number from 0 to 4294967295. A member of
/// another type counts as missing; unknown members are ignored; a repeated member keeps its last
/// value. `own_name` is used where NAME is missing. The registration counts as a 04.04 one. nullopt
/// when `text` is not one JSON object in UTF-8 or has no FUNCTION_LIB string.
std::optional<Registration> ParseRegistrationFile(std::string_view text, std::string own_name);

}  // namespace tarnix::discovery
