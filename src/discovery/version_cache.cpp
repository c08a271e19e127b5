// Reading, formatting and rewriting the API version cache file; every failure means "no entry".
#include "discovery/version_cache.h"

#include "common/json_writer.h"
#include "discovery/json_object.h"
#include "discovery/library_file.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace tarnix::discovery {
namespace {

constexpr const char* kFolderName = "tarnix";
constexpr const char* kFileName = "api_version_cache.json";
// Far more than any machine's libraries need; a larger file is damaged and replaced.
constexpr uint64_t kMaxCacheFileBytes = 256 * 1024;

std::optional<std::string> CacheFolder() {
  auto base = platform::UserCacheFolder();
  if (!base) return std::nullopt;
  return *base + platform::PathSeparator() + kFolderName;
}

// A link in place of the file is not followed: the cache is read and written as itself only.
std::optional<VersionCacheEntries> ReadCacheFile(const std::string& path) {
  auto text = platform::ReadSmallFile(path, kMaxCacheFileBytes, platform::FinalLink::kRefuse);
  if (!text) return std::nullopt;
  return ParseVersionCache(*text);
}

bool IsApiVersion(std::string_view text) {
  return text == kApi0404 || text == kApi0500;
}

}  // namespace

std::optional<std::string> VersionCachePath() {
  auto folder = CacheFolder();
  if (!folder) return std::nullopt;
  return *folder + platform::PathSeparator() + kFileName;
}

std::string VersionCacheKey(const std::string& library_path) {
  auto seconds = platform::LastWriteSeconds(library_path);
  if (!seconds) return library_path;
  return library_path + "|" + std::to_string(*seconds);
}

std::optional<VersionCacheEntries> ParseVersionCache(std::string_view text) {
  rapidjson::Document document;
  if (!ParseJsonObject(text, document)) return std::nullopt;
  VersionCacheEntries entries;
  for (const auto& member : ObjectMembers(document)) {
    if (!member.value.IsString()) return std::nullopt;
    entries[std::string(member.name.GetString(), member.name.GetStringLength())] =
        std::string(member.value.GetString(), member.value.GetStringLength());
  }
  return entries;
}

std::string FormatVersionCache(const VersionCacheEntries& entries) {
  if (entries.empty()) return "{}";
  std::string out = "{";
  bool first = true;
  for (const auto& [key, version] : entries) {
    out += first ? "\n  " : ",\n  ";
    first = false;
    AppendJsonString(out, key);
    out += ": ";
    AppendJsonString(out, version);
  }
  out += "\n}";
  return out;
}

std::optional<std::string> LookUpCachedVersion(const std::string& key) {
  auto path = VersionCachePath();
  if (!path) return std::nullopt;
  auto entries = ReadCacheFile(*path);
  if (!entries) return std::nullopt;
  auto found = entries->find(key);
  if (found == entries->end() || !IsApiVersion(found->second)) return std::nullopt;
  return found->second;
}

void StoreCachedVersion(const std::string& key, const std::string& version) {
  auto folder = CacheFolder();
  if (!folder) return;
  const std::string path = *folder + platform::PathSeparator() + kFileName;
  VersionCacheEntries entries = ReadCacheFile(path).value_or(VersionCacheEntries{});
  std::erase_if(entries, [](const auto& entry) { return !IsApiVersion(entry.second); });
  entries[key] = version;
  // A folder that cannot be created, or that is a link, leaves the cache unwritten.
  if (!platform::CreatePrivateFolders(*folder)) return;
  (void)platform::ReplaceWholeFile(path, FormatVersionCache(entries));
}

}  // namespace tarnix::discovery
