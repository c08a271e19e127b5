// Examining a registered library: header first, then the version cache, then a probe on a miss.
#include "discovery/library_examination.h"

#include "discovery/library_header.h"
#include "discovery/version_cache.h"

namespace tarnix::discovery {
namespace {

constexpr const char* kApi0404 = "04.04";
constexpr const char* kApi0500 = "05.00";

}  // namespace

std::string ResolveApiVersion(const std::string& path, const VersionProbe& probe) {
  const std::string key = VersionCacheKey(path);
  if (auto cached = LookUpCachedVersion(key)) return *cached;
  auto probed = probe(path);
  if (!probed) return kApi0404;
  StoreCachedVersion(key, *probed);
  return *probed;
}

LibraryExamination ExamineLibrary(const std::string& path, bool from_0500_source,
                                  const VersionProbe& probe) {
  const std::optional<uint8_t> bitness = ReadLibraryBitness(path);
  if (!bitness) {
    return LibraryExamination{kOwnBitness, false, "DLL not found",
                              from_0500_source ? kApi0500 : kApi0404};
  }
  return LibraryExamination{*bitness, true, std::nullopt, ResolveApiVersion(path, probe)};
}

}  // namespace tarnix::discovery
