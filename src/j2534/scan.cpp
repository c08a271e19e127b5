// The devices a 05.00 library finds.
#include "j2534/scan.h"

#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {

Result<std::vector<wire::ScannedDevice>, PassThruError> ScanDevices(
    const PassThruLibrary& library) {
  if (!library.Find(passthru::Entry::kScanForDevices)) {
    return RefusedError("ERR_J2534_SCAN_FAILED: a 04.04 library has no device scan");
  }
  auto scan = library.Resolve<passthru::PassThruScanForDevicesFn>(passthru::Entry::kScanForDevices);
  if (!scan) return std::move(scan).error();
  uint32_t count = 0;
  auto status = static_cast<uint32_t>((*scan)(&count));
  if (status != passthru::kStatusNoError) {
    return CallFailedError("SCAN_FAILED", status, LastErrorText(library));
  }
  std::vector<wire::ScannedDevice> devices;
  if (count == 0) return devices;
  auto next = library.Resolve<passthru::PassThruGetNextDeviceFn>(passthru::Entry::kGetNextDevice);
  if (!next) return std::move(next).error();
  for (uint32_t i = 0; i < count; ++i) {
    passthru::SDevice device{};
    status = static_cast<uint32_t>((*next)(&device));
    if (status != passthru::kStatusNoError) {
      return CallFailedError("SCAN_FAILED", status, LastErrorText(library));
    }
    devices.push_back({BufferText(device.DeviceName, sizeof device.DeviceName),
                       device.DeviceAvailable, device.DeviceDLLFWStatus, device.DeviceConnectMedia,
                       device.DeviceConnectSpeed, device.DeviceSignalQuality,
                       device.DeviceSignalStrength});
  }
  return devices;
}

Result<std::vector<wire::ScannedDevice>, PassThruError> ScanLibrary(const std::string& path,
                                                                    const TraceSettings& trace) {
  auto library = PassThruLibrary::Load(path);
  if (!library) return std::move(library).error();
  StartTrace(*library, trace, path);
  return ScanDevices(*library);
}

}  // namespace tarnix::j2534
