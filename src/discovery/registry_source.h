// The Windows registration source: the PassThruSupport keys in both registry views.
#pragma once

#include "discovery/registration.h"
#include "platform/registry.h"

namespace tarnix::discovery {

/// The registrations below the 04.04 and 05.00 PassThruSupport keys of HKEY_LOCAL_MACHINE, in the
/// 64-bit and then the 32-bit view of each, subkeys in the order the registry lists them. Names
/// libraries as PE images.
class RegistrySource final : public RegistrationSource {
 public:
  explicit RegistrySource(const platform::RegistryReader& registry) : registry_(registry) {}

  std::vector<Registration> Read() const override;
  ImageFormat LibraryFormat() const override { return ImageFormat::kPe; }

 private:
  const platform::RegistryReader& registry_;
};

}  // namespace tarnix::discovery
