// Listing a registration folder and reading each of its registration files, bounded in size.
#include "discovery/folder_source.h"

#include <algorithm>

#include "discovery/registration_file.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace tarnix::discovery {
namespace {

constexpr std::string_view kSuffix = ".json";

bool IsRegistrationFileName(std::string_view name) {
  return name.size() > kSuffix.size() && name.ends_with(kSuffix) && !name.starts_with('.');
}

// The whole file, unless it cannot be read, is no regular file (a FIFO would never answer) or is
// too large to be a registration. The folder is the user's own: a link in it is the user's choice.
std::optional<std::string> ReadRegistrationFile(const std::string& path) {
  auto text =
      platform::ReadSmallFile(path, kMaxRegistrationFileBytes, platform::FinalLink::kFollow);
  if (!text) return std::nullopt;
  return std::move(*text);
}

}  // namespace

std::vector<Registration> FolderSource::Read() const {
  if (!folder_) return {};
  auto names = platform::ListFolder(*folder_);
  if (!names) return {};
  std::erase_if(*names, [](const std::string& name) { return !IsRegistrationFileName(name); });
  std::sort(names->begin(), names->end());
  std::vector<Registration> registrations;
  for (const std::string& name : *names) {
    const auto text = ReadRegistrationFile(*folder_ + platform::PathSeparator() + name);
    if (!text) continue;
    auto registration = ParseRegistrationFile(*text, name.substr(0, name.size() - kSuffix.size()));
    if (registration) registrations.push_back(std::move(*registration));
  }
  return registrations;
}

std::optional<std::string> HomeRegistrationFolder() {
  auto home = platform::GetEnvironment("HOME");
  if (!home || home->empty()) return std::nullopt;
  return *home + platform::PathSeparator() + ".passthru";
}

}  // namespace tarnix::discovery
