// What device discovery learns about one registered library: its width and its API version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "discovery/version_probe.h"

namespace tarnix::discovery {

/// The result of examining one library.
struct LibraryExamination {
  uint8_t bitness = 0;  ///< from the header; this build's own width when not examinable
  bool available = false;
  std::optional<std::string> unavailable_reason;  ///< "DLL not found" when not examinable
  std::string api_version;
};

/// This build's own width: 64 or 32.
inline constexpr uint8_t kOwnBitness = static_cast<uint8_t>(sizeof(void*) * 8);

/// The API version of an examinable library: the cached one, or else the probe's answer. A probe
/// that loaded the library stores its answer; one that could not load it answers "04.04" but stores
/// nothing, so that a build of the library's own width can still record the true version later.
std::string ResolveApiVersion(const std::string& path, const VersionProbe& probe);

/// Examines the library at `path` (as registered). A library whose header cannot be read is listed
/// as not available with the version its registration source implies; the cache is then left alone.
LibraryExamination ExamineLibrary(const std::string& path, bool from_0500_source,
                                  const VersionProbe& probe);

}  // namespace tarnix::discovery
