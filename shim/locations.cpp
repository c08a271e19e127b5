// Finding the vendor library (variable, registrations) and the bridge of its width.
#include "shim/locations.h"

#include <optional>

#include "discovery/library_file.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"

namespace tarnix::shim {
namespace {

std::optional<std::string> Variable(const char* name) {
  std::optional<std::string> value = platform::GetEnvironment(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

// The folder of `path`, with its separator.
std::string FolderOf(const std::string& path) {
  const size_t end = path.find_last_of(platform::PathSeparator() == '\\' ? "\\/" : "/");
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

}  // namespace

Result<std::string> FindTarget(const std::string& self,
                               const discovery::RegistrationSource& source) {
  if (std::optional<std::string> target = Variable(kTargetVariable)) return std::move(*target);
  std::optional<std::string> found;
  for (const discovery::Registration& registration : source.Read()) {
    if (!registration.library || !registration.target || registration.target->empty()) continue;
    if (!platform::SameFile(*registration.library, self)) continue;
    if (found && *found != *registration.target) {
      return Fail("several registrations name this library (" + self +
                  ") with different vendor libraries; each needs a copy of its own");
    }
    found = *registration.target;
  }
  if (!found) {
    return Fail("no vendor library: no registration names this library (" + self +
                ") with one, and " + kTargetVariable + " is not set");
  }
  return std::move(*found);
}

Result<std::string> FindBridge(const std::string& self, const std::string& target,
                               discovery::ImageFormat format) {
  if (std::optional<std::string> bridge = Variable(kBridgeVariable)) return std::move(*bridge);
  const std::string folder = FolderOf(self);
  const std::string program = platform::ExecutableFileName("tarnix");
  const char separator = platform::PathSeparator();
  const std::string beside = folder + program;
  const std::optional<uint8_t> width = discovery::ReadLibraryBitness(target, format);
  if (!width) return beside;
  for (const std::string& candidate :
       {beside, folder + ".." + separator + "x86" + separator + program,
        folder + ".." + separator + "x64" + separator + program}) {
    if (discovery::ReadLibraryBitness(candidate, format) == width) return candidate;
  }
  return Fail("no bridge for " + std::to_string(*width) + "-bit libraries such as " + target +
              " beside " + self + " (tarnix there, or in ..\\x86 or ..\\x64); " + kBridgeVariable +
              " names one");
}

}  // namespace tarnix::shim
