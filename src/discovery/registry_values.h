// Decoding registration values and cleaning the display names made from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace tarnix::discovery {

/// The text of a REG_SZ, REG_EXPAND_SZ (not expanded) or REG_MULTI_SZ value as UTF-8: trailing NULs
/// removed, the remaining NUL separators of a REG_MULTI_SZ turned into line feeds, unpaired
/// surrogates replaced by U+FFFD. nullopt for any other type.
std::optional<std::string> DecodeText(const platform::RegistryValue& value);

/// The number of a REG_DWORD (little-endian) or REG_DWORD_BIG_ENDIAN value of exactly 4 bytes;
/// nullopt for any other type or size.
std::optional<uint32_t> DecodeNumber(const platform::RegistryValue& value);

/// The display name made from a registration's name: every bitness or compatibility label that
/// installers append is removed, then runs of white space become single blanks and the ends are
/// trimmed. May be empty.
std::string CleanDisplayName(std::string_view name);

}  // namespace tarnix::discovery
