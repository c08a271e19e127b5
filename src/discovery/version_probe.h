// Finding a library's API version by loading it.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tarnix::discovery {

/// Finds a library's API version by loading it: "05.00" or "04.04", or nullopt when the library
/// could not be loaded (a library of the other width, a broken file). Must release the library.
using VersionProbe = std::function<std::optional<std::string>(const std::string& path)>;

/// The probe that loads the library through the J2534 layer and looks for the 05.00 entry point.
std::optional<std::string> ProbeLibraryVersion(const std::string& path);

}  // namespace tarnix::discovery
