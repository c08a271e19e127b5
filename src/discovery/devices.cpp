// Turning the registrations of a source into DeviceInfo records.
#include "discovery/devices.h"

#include <algorithm>
#include <string_view>

#include "discovery/library_examination.h"
#include "discovery/registry_values.h"

namespace tarnix::discovery {
namespace {

constexpr size_t kCan = 0;
constexpr size_t kIso15765 = 1;
static_assert(kProtocolValues[kCan].name == "CAN" && kProtocolValues[kIso15765].name == "ISO15765");

// A 05.00 interface supports CAN and ISO 15765 unless it says otherwise; other values default to 0.
uint32_t ProtocolFlag(const Registration& registration, size_t index) {
  const bool assumed = registration.api_0500 && (index == kCan || index == kIso15765);
  return registration.protocols[index].value_or(assumed ? 1 : 0);
}

bool HasLibrary(const std::vector<wire::DeviceInfo>& devices, const std::string& path) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const wire::DeviceInfo& device) { return device.dll_path == path; });
}

bool HasName(const std::vector<wire::DeviceInfo>& devices, const std::string& name) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const wire::DeviceInfo& device) { return device.name == name; });
}

// Adds the record for one registration, unless it names no library or one already listed.
void AddRegistration(const Registration& registration, ImageFormat format,
                     std::vector<wire::DeviceInfo>& devices) {
  wire::DeviceInfo device;
  device.vendor = registration.vendor.value_or("");
  device.dll_path = registration.library.value_or("");
  if (device.dll_path.empty() || HasLibrary(devices, device.dll_path)) return;
  for (size_t i = 0; i < kProtocolValues.size(); ++i) {
    if (ProtocolFlag(registration, i) != 0) {
      device.supported_protocols.emplace_back(kProtocolValues[i].label);
    }
  }
  device.can_iso11898 = ProtocolFlag(registration, kCan) != 0;
  device.can_iso15765 = ProtocolFlag(registration, kIso15765) != 0;

  LibraryExamination examined = ExamineLibrary(device.dll_path, registration.api_0500, format);
  device.bitness = examined.bitness;
  device.available = examined.available;
  device.unavailable_reason = std::move(examined.unavailable_reason);
  device.api_version = std::move(examined.api_version);
  device.compatible = true;

  device.name = CleanDisplayName(registration.name.value_or(registration.own_name));
  // Tells a 05.00 registration apart from a 04.04 one of the same name.
  if (registration.api_0500 && HasName(devices, device.name)) device.name += " (v5.0)";
  devices.push_back(std::move(device));
}

}  // namespace

std::vector<wire::DeviceInfo> EnumerateDevices(const RegistrationSource& source) {
  std::vector<wire::DeviceInfo> devices;
  const ImageFormat format = source.LibraryFormat();
  for (const Registration& registration : source.Read())
    AddRegistration(registration, format, devices);
  return devices;
}

}  // namespace tarnix::discovery
