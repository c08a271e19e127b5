// ptsim's device scan (05.00): PassThruScanForDevices and PassThruGetNextDevice.
#include <cstring>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "sim/library.h"
#include "trace/arguments.h"

namespace tarnix::sim {
namespace {

/// ptsim's one device as a scan describes it: available, on USB at 480 Mbit/s, a clear signal.
passthru::SDevice DeviceEntry() {
  passthru::SDevice device{};
  std::strncpy(device.DeviceName, kDeviceName, sizeof device.DeviceName - 1);
  device.DeviceAvailable = 1;
  device.DeviceConnectMedia = 1;
  device.DeviceConnectSpeed = 480000000;
  device.DeviceSignalQuality = 100;
  device.DeviceSignalStrength = 100;
  return device;
}

}  // namespace

int32_t Library::ScanForDevices(uint32_t* device_count) {
  Call call(*this, "PassThruScanForDevices");
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed({{"deviceCount", device_count}});
  if (device_count == nullptr) {
    return call.Return(Refuse(passthru::kErrNullParameter, "pDeviceCount is null"));
  }
  {
    std::lock_guard lock(mutex_);
    devices_left_ = 1;
  }
  *device_count = 1;
  call.out().Num("deviceCount", 1);
  return call.Return({});
}

int32_t Library::GetNextDevice(passthru::SDevice* device) {
  Call call(*this, "PassThruGetNextDevice");
  if (call.injected()) return call.ReturnInjected();
  if (device == nullptr)
    return call.Return(Refuse(passthru::kErrNullParameter, "psDevice is null"));
  if (call.replay() != nullptr) {
    const trace::Call* recorded = call.Match();
    if (recorded == nullptr) return call.ReturnDiverged();
    if (const auto* name = std::get_if<std::string>(recorded->Find("name"))) {
      *device = passthru::SDevice{};
      std::strncpy(device->DeviceName, name->c_str(), sizeof device->DeviceName - 1);
      call.out().Str("name", *name);
    }
    return call.ReturnRecorded(*recorded, {{"available", &device->DeviceAvailable},
                                           {"dllFwStatus", &device->DeviceDLLFWStatus},
                                           {"connectMedia", &device->DeviceConnectMedia},
                                           {"connectSpeed", &device->DeviceConnectSpeed},
                                           {"signalQuality", &device->DeviceSignalQuality},
                                           {"signalStrength", &device->DeviceSignalStrength}});
  }
  Status status;
  {
    std::lock_guard lock(mutex_);
    if (!devices_left_) {
      status = Refuse(passthru::kErrBufferEmpty, "PassThruScanForDevices was not called");
    } else if (*devices_left_ == 0) {
      status = Refuse(passthru::kErrExceededLimit, "every device found has been listed");
    } else {
      --*devices_left_;
    }
  }
  if (!status.ok()) return call.Return(status);
  *device = DeviceEntry();
  trace::AddDeviceOutputs(call.out(), *device);
  return call.Return({});
}

}  // namespace tarnix::sim
