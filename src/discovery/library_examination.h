// What device discovery learns about one registered library: its width and its API version.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "discovery/library_file.h"

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

/// Finds a library's API version from its file: "05.00" or "04.04", or nullopt when it cannot
/// tell (the file cannot be read, or has no export table).
using VersionProbe = std::function<std::optional<std::string>(const std::string& path)>;

/// The API version of an examinable library: the cached one, or else the probe's answer. An
/// answer is stored; a probe that cannot tell gives "04.04" and stores nothing, so that a later
/// examination of a repaired file can still record the true version.
std::string ResolveApiVersion(const std::string& path, const VersionProbe& probe);

/// Examines the library at `path` (as registered), a file in `format`. A library whose header
/// cannot be read is listed as not available with the version its registration source implies;
/// the cache is then left alone. Nothing is loaded.
LibraryExamination ExamineLibrary(const std::string& path, bool from_0500_source,
                                  ImageFormat format);

}  // namespace tarnix::discovery
