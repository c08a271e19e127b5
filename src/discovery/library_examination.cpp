// Examining a registered library: header first, then the version cache, then the export table on
// a miss.
#include "discovery/library_examination.h"

#include "discovery/version_cache.h"

namespace tarnix::discovery {

std::string ResolveApiVersion(const std::string& path, const VersionProbe& probe) {
  const std::string key = VersionCacheKey(path);
  if (auto cached = LookUpCachedVersion(key)) return *cached;
  auto probed = probe(path);
  if (!probed) return kApi0404;
  StoreCachedVersion(key, *probed);
  return *probed;
}

LibraryExamination ExamineLibrary(const std::string& path, bool from_0500_source,
                                  ImageFormat format) {
  const std::optional<uint8_t> bitness = ReadLibraryBitness(path, format);
  if (!bitness) {
    return LibraryExamination{kOwnBitness, false, "DLL not found",
                              from_0500_source ? kApi0500 : kApi0404};
  }
  const std::string version = ResolveApiVersion(
      path, [format](const std::string& file) { return ReadLibraryApiVersion(file, format); });
  return LibraryExamination{*bitness, true, std::nullopt, version};
}

}  // namespace tarnix::discovery
