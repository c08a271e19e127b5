// The J2534 names of status codes, ioctls, configuration parameters and filter types, as trace
// lines, error texts and ptsim show them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnix::passthru {

/// The J2534 name of a status code 0..26 ("ERR_FAILED"), or nullopt.
std::optional<std::string_view> StatusName(uint32_t code);
/// The status code of a J2534 name, or nullopt.
std::optional<uint32_t> StatusByName(std::string_view name);
/// The J2534 name of an ioctl id ("SET_CONFIG"), or nullopt.
std::optional<std::string_view> IoctlName(uint32_t id);
/// The ioctl id of a J2534 name, or nullopt.
std::optional<uint32_t> IoctlByName(std::string_view name);
/// The J2534 name of a configuration parameter ("LOOPBACK"), or nullopt.
std::optional<std::string_view> ParameterName(uint32_t id);
/// "PASS_FILTER", "BLOCK_FILTER", "FLOW_CONTROL_FILTER", or nullopt.
std::optional<std::string_view> FilterTypeName(uint32_t type);

}  // namespace tarnix::passthru
