// The API version cache: a JSON file of the library versions found, shared by both builds.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarnix::discovery {

/// Cache members: key (library path, "|", last-write seconds) to API version text.
using VersionCacheEntries = std::map<std::string, std::string>;

/// This user's cache folder (LOCALAPPDATA on Windows; $XDG_CACHE_HOME, else ~/.cache on Linux),
/// then "tarnix", then "api_version_cache.json", joined with this system's separator; nullopt when
/// there is no such folder (then there is no cache). Read at each use.
std::optional<std::string> VersionCachePath();

/// The key of a library: its path as registered, "|" and its last-write time in whole seconds since
/// 1970; the path alone when that time cannot be read. A touched or replaced file gets a new key.
std::string VersionCacheKey(const std::string& library_path);

/// The members of `text` when it is one JSON object whose member values are all strings (a repeated
/// member keeps its last value); nullopt otherwise.
std::optional<VersionCacheEntries> ParseVersionCache(std::string_view text);

/// The file content for `entries`: "{}" when empty, otherwise "{", one line per member indented by
/// two blanks, "}", with no line feed after the brace.
std::string FormatVersionCache(const VersionCacheEntries& entries);

/// The cached version stored under `key`; nullopt when there is no cache, it is no regular file,
/// a link, larger than 256 KiB, cannot be read or parsed, or it has no such member, or the member
/// is not an API version ("04.04", "05.00").
std::optional<std::string> LookUpCachedVersion(const std::string& key);

/// Stores `version` under `key`, keeping the other members of a readable cache that are API
/// versions and discarding a damaged cache. Creates the folder (for this user alone) when needed,
/// and replaces the file by renaming a new one over it. Every failure is ignored: the cache is an
/// optimisation.
void StoreCachedVersion(const std::string& key, const std::string& version);

}  // namespace tarnix::discovery
