// Reading registrations from the registry: the four source keys, their subkeys and values.
#include "discovery/registry_source.h"

#include <string_view>

#include "common/text.h"
#include "discovery/registry_values.h"

namespace tarnix::discovery {
namespace {

using platform::RegistryKey;
using platform::RegistryView;

struct SourceKey {
  std::string_view path;
  RegistryView view;
};

// Read in this order; the first registration of a library wins.
constexpr std::array<SourceKey, 4> kSourceKeys = {{
    {"SOFTWARE\\PassThruSupport.04.04", RegistryView::k64Bit},
    {"SOFTWARE\\PassThruSupport.04.04", RegistryView::k32Bit},
    {"SOFTWARE\\PassThruSupport.05.00", RegistryView::k64Bit},
    {"SOFTWARE\\PassThruSupport.05.00", RegistryView::k32Bit},
}};

bool IsApi0500Source(std::string_view path) {
  return path.find("05.00") != std::string_view::npos;
}

std::optional<std::string> ReadText(const RegistryKey& key, std::string_view name) {
  auto value = key.QueryValue(name);
  return value ? DecodeText(*value) : std::nullopt;
}

std::optional<uint32_t> ReadNumber(const RegistryKey& key, std::string_view name) {
  auto value = key.QueryValue(name);
  return value ? DecodeNumber(*value) : std::nullopt;
}

Registration ReadRegistration(const RegistryKey& key, std::string own_name, bool api_0500) {
  Registration registration{std::move(own_name), ReadText(key, "Name"), ReadText(key, "Vendor"),
                            ReadText(key, "FunctionLibrary")};
  for (size_t i = 0; i < kProtocolValues.size(); ++i)
    registration.protocols[i] = ReadNumber(key, kProtocolValues[i].name);
  registration.api_0500 = api_0500;
  registration.target = ReadText(key, kTargetValue);
  return registration;
}

void ReadSourceKey(const platform::RegistryReader& registry, const SourceKey& source,
                   std::vector<Registration>& registrations) {
  const std::unique_ptr<RegistryKey> root = registry.OpenLocalMachineKey(source.path, source.view);
  if (root == nullptr) return;
  const bool api_0500 = IsApi0500Source(source.path);
  // The registry ends every enumeration with "no more items"; the bound only guarantees an end.
  for (uint32_t index = 0; index < UINT32_MAX; ++index) {
    const platform::SubkeyEntry entry = root->SubkeyAt(index);
    if (entry.status == platform::SubkeyStatus::kNoMoreItems) return;
    if (entry.status != platform::SubkeyStatus::kFound) continue;
    std::optional<std::string> subkey_name = Utf16ToUtf8(entry.name);
    if (!subkey_name) continue;
    const std::unique_ptr<RegistryKey> subkey = root->OpenSubkey(entry.name);
    if (subkey == nullptr) continue;
    registrations.push_back(ReadRegistration(*subkey, std::move(*subkey_name), api_0500));
  }
}

}  // namespace

std::vector<Registration> RegistrySource::Read() const {
  std::vector<Registration> registrations;
  for (const SourceKey& source : kSourceKeys)
    ReadSourceKey(registry_, source, registrations);
  return registrations;
}

}  // namespace tarnix::discovery
