// Reading the registrations of every source into DeviceInfo records.
#include "discovery/devices.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "common/text.h"
#include "discovery/registry_values.h"
#include "discovery/version_probe.h"

namespace tarnix::discovery {
namespace {

using platform::RegistryKey;
using platform::RegistryView;

struct Source {
  std::string_view path;
  RegistryView view;
};

// Read in this order; the first registration of a library wins.
constexpr std::array<Source, 4> kSources = {{
    {"SOFTWARE\\PassThruSupport.04.04", RegistryView::k64Bit},
    {"SOFTWARE\\PassThruSupport.04.04", RegistryView::k32Bit},
    {"SOFTWARE\\PassThruSupport.05.00", RegistryView::k64Bit},
    {"SOFTWARE\\PassThruSupport.05.00", RegistryView::k32Bit},
}};

struct Protocol {
  std::string_view value;
  std::string_view label;
};

// Registry value and the label it adds to supportedProtocols, in the order they are listed.
constexpr std::array<Protocol, 10> kProtocols = {{
    {"CAN", "CAN"},
    {"ISO15765", "ISO-TP"},
    {"ISO9141", "ISO 9141"},
    {"ISO14230", "ISO 14230"},
    {"J1850PWM", "J1850 PWM"},
    {"J1850VPW", "J1850 VPW"},
    {"CAN_FD_PS", "CAN-FD"},
    {"ISO15765_FD_PS", "ISO-TP FD"},
    {"SW_CAN_PS", "SW-CAN"},
    {"TP2_0_PS", "TP 2.0"},
}};

bool IsApi0500Source(std::string_view path) {
  return path.find("05.00") != std::string_view::npos;
}

std::optional<std::string> ReadText(const RegistryKey& key, std::string_view name) {
  auto value = key.QueryValue(name);
  return value ? DecodeText(*value) : std::nullopt;
}

// A 05.00 interface supports CAN and ISO 15765 unless it says otherwise; other values default to 0.
uint32_t ReadProtocolFlag(const RegistryKey& key, std::string_view name, bool api_0500) {
  auto value = key.QueryValue(name);
  auto number = value ? DecodeNumber(*value) : std::nullopt;
  if (number) return *number;
  return api_0500 && (name == "CAN" || name == "ISO15765") ? 1 : 0;
}

bool HasLibrary(const std::vector<protocol::DeviceInfo>& devices, const std::string& path) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const protocol::DeviceInfo& device) { return device.dll_path == path; });
}

bool HasName(const std::vector<protocol::DeviceInfo>& devices, const std::string& name) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const protocol::DeviceInfo& device) { return device.name == name; });
}

// Adds the record for one registration, unless it names no library or one already listed.
void AddRegistration(const RegistryKey& key, const std::string& subkey_name, bool api_0500,
                     const VersionProbe& probe, std::vector<protocol::DeviceInfo>& devices) {
  const std::string name = ReadText(key, "Name").value_or(subkey_name);
  protocol::DeviceInfo device;
  device.vendor = ReadText(key, "Vendor").value_or("");
  device.dll_path = ReadText(key, "FunctionLibrary").value_or("");
  device.can_iso15765 = ReadProtocolFlag(key, "ISO15765", api_0500) != 0;
  device.can_iso11898 = ReadProtocolFlag(key, "CAN", api_0500) != 0;
  for (const Protocol& protocol : kProtocols) {
    if (ReadProtocolFlag(key, protocol.value, api_0500) != 0) {
      device.supported_protocols.emplace_back(protocol.label);
    }
  }
  if (device.dll_path.empty() || HasLibrary(devices, device.dll_path)) return;

  LibraryExamination examined = ExamineLibrary(device.dll_path, api_0500, probe);
  device.bitness = examined.bitness;
  device.available = examined.available;
  device.unavailable_reason = std::move(examined.unavailable_reason);
  device.api_version = std::move(examined.api_version);
  device.compatible = true;

  device.name = CleanDisplayName(name);
  // Tells a 05.00 registration apart from a 04.04 one of the same name.
  if (api_0500 && HasName(devices, device.name)) device.name += " (v5.0)";
  devices.push_back(std::move(device));
}

void AddSource(const platform::RegistryReader& registry, const Source& source,
               const VersionProbe& probe, std::vector<protocol::DeviceInfo>& devices) {
  const std::unique_ptr<RegistryKey> root = registry.OpenLocalMachineKey(source.path, source.view);
  if (root == nullptr) return;
  const bool api_0500 = IsApi0500Source(source.path);
  // The registry ends every enumeration with "no more items"; the bound only guarantees an end.
  for (uint32_t index = 0; index < UINT32_MAX; ++index) {
    const platform::SubkeyEntry entry = root->SubkeyAt(index);
    if (entry.status == platform::SubkeyStatus::kNoMoreItems) return;
    if (entry.status != platform::SubkeyStatus::kFound) continue;
    const std::optional<std::string> subkey_name = Utf16ToUtf8(entry.name);
    if (!subkey_name) continue;
    const std::unique_ptr<RegistryKey> subkey = root->OpenSubkey(entry.name);
    if (subkey == nullptr) continue;
    AddRegistration(*subkey, *subkey_name, api_0500, probe, devices);
  }
}

}  // namespace

std::vector<protocol::DeviceInfo> EnumerateDevices(const platform::RegistryReader& registry,
                                                   const VersionProbe& probe) {
  std::vector<protocol::DeviceInfo> devices;
  for (const Source& source : kSources)
    AddSource(registry, source, probe, devices);
  return devices;
}

std::vector<protocol::DeviceInfo> EnumerateInstalledDevices() {
  return EnumerateDevices(platform::SystemRegistry(), ProbeLibraryVersion);
}

}  // namespace tarnix::discovery
