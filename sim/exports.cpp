// The exported PassThru entry points of one ptsim library. Compile definitions choose the form
// (PTSIM_FORM_0500, else 04.04), drop entry points (PTSIM_OMIT_<name>), add the 05.00 form's
// PassThruWriteMsgs (PTSIM_ADD_PassThruWriteMsgs) and make PassThruOpen call the helper DLL
// (PTSIM_HELPER); PTSIM_VARIANT names the library.
#include <cstdint>

#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "platform/environment.h"
#include "sim/library.h"
#if defined(PTSIM_HELPER)
#include "sim/helper.h"
#endif

#if defined(_WIN32)
#define PTSIM_EXPORT __declspec(dllexport)
#else
#define PTSIM_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using tarnix::sim::Form;

#if defined(PTSIM_FORM_0500)
constexpr Form kForm = Form::k0500;
#else
constexpr Form kForm = Form::k0404;
#endif

#if defined(_WIN32)
// Detaching runs under the loader lock, which a leaving thread needs: joining it would deadlock.
constexpr auto kThreadEnd = tarnix::sim::ThreadEnd::kDetach;
#else
constexpr auto kThreadEnd = tarnix::sim::ThreadEnd::kJoin;
#endif

// Lives exactly as long as the library is attached: its constructor writes the "load" line, its
// destructor the "unload" line.
tarnix::sim::Library g_library(
    kForm, PTSIM_VARIANT, [](const char* name) { return tarnix::platform::GetEnvironment(name); },
    [] { return tarnix::sim::Clock::now(); }, kThreadEnd);

/// Runs an entry point's body; nothing may escape into a caller that knows no C++.
template <typename Body>
int32_t Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return static_cast<int32_t>(tarnix::passthru::kErrFailed);
  }
}

}  // namespace

using tarnix::passthru::ResourceStruct;

extern "C" {

#if !defined(PTSIM_OMIT_PassThruOpen)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruOpen(const void* name, uint32_t* device_id) {
#if defined(PTSIM_HELPER)
  if (PtsimHelperAnswer() != tarnix::sim::kHelperAnswer) {
    return static_cast<int32_t>(tarnix::passthru::kErrFailed);
  }
#endif
  return Guarded([&] { return g_library.Open(name, device_id); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruClose)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruClose(uint32_t device_id) {
  return Guarded([&] { return g_library.Close(device_id); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruConnect)
#if defined(PTSIM_FORM_0500)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruConnect(uint32_t device_id, uint32_t protocol_id,
                                                  uint32_t flags, uint32_t baud_rate,
                                                  ResourceStruct resources, uint32_t* channel_id) {
  return Guarded([&] {
    return g_library.Connect(device_id, protocol_id, flags, baud_rate, &resources, channel_id);
  });
}
#else
PTSIM_EXPORT int32_t PASSTHRU_API PassThruConnect(uint32_t device_id, uint32_t protocol_id,
                                                  uint32_t flags, uint32_t baud_rate,
                                                  uint32_t* channel_id) {
  return Guarded([&] {
    return g_library.Connect(device_id, protocol_id, flags, baud_rate, nullptr, channel_id);
  });
}
#endif
#endif

#if !defined(PTSIM_OMIT_PassThruDisconnect)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruDisconnect(uint32_t channel_id) {
  return Guarded([&] { return g_library.Disconnect(channel_id); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruReadMsgs)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruReadMsgs(uint32_t channel_id, void* messages,
                                                   uint32_t* count, uint32_t timeout_ms) {
  return Guarded([&] { return g_library.ReadMsgs(channel_id, messages, count, timeout_ms); });
}
#endif

#if (!defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruWriteMsgs)) || \
    defined(PTSIM_ADD_PassThruWriteMsgs)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruWriteMsgs(uint32_t channel_id, void* messages,
                                                    uint32_t* count, uint32_t timeout_ms) {
  return Guarded([&] {
    return g_library.WriteMsgs("PassThruWriteMsgs", channel_id, messages, count, timeout_ms);
  });
}
#endif

#if defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruQueueMsgs)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruQueueMsgs(uint32_t channel_id, void* messages,
                                                    uint32_t* count) {
  return Guarded([&] {
    return g_library.WriteMsgs("PassThruQueueMsgs", channel_id, messages, count, std::nullopt);
  });
}
#endif

#if !defined(PTSIM_OMIT_PassThruStartPeriodicMsg)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruStartPeriodicMsg(uint32_t channel_id, const void* message,
                                                           uint32_t* message_id,
                                                           uint32_t interval_ms) {
  return Guarded(
      [&] { return g_library.StartPeriodicMsg(channel_id, message, message_id, interval_ms); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruStopPeriodicMsg)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruStopPeriodicMsg(uint32_t channel_id,
                                                          uint32_t message_id) {
  return Guarded([&] { return g_library.StopPeriodicMsg(channel_id, message_id); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruStartMsgFilter)
#if defined(PTSIM_FORM_0500)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruStartMsgFilter(uint32_t channel_id, uint32_t filter_type,
                                                         const void* mask, const void* pattern,
                                                         uint32_t* filter_id) {
  return Guarded([&] {
    return g_library.StartMsgFilter(channel_id, filter_type, mask, pattern, std::nullopt,
                                    filter_id);
  });
}
#else
PTSIM_EXPORT int32_t PASSTHRU_API PassThruStartMsgFilter(uint32_t channel_id, uint32_t filter_type,
                                                         const void* mask, const void* pattern,
                                                         const void* flow_control,
                                                         uint32_t* filter_id) {
  return Guarded([&] {
    return g_library.StartMsgFilter(channel_id, filter_type, mask, pattern, flow_control,
                                    filter_id);
  });
}
#endif
#endif

#if !defined(PTSIM_OMIT_PassThruStopMsgFilter)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruStopMsgFilter(uint32_t channel_id, uint32_t filter_id) {
  return Guarded([&] { return g_library.StopMsgFilter(channel_id, filter_id); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruSetProgrammingVoltage)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruSetProgrammingVoltage(uint32_t device_id, uint32_t pin,
                                                                uint32_t voltage) {
  return Guarded([&] { return g_library.SetProgrammingVoltage(device_id, pin, voltage); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruReadVersion)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruReadVersion(uint32_t device_id, char* firmware,
                                                      char* library, char* api) {
  return Guarded([&] { return g_library.ReadVersion(device_id, firmware, library, api); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruGetLastError)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruGetLastError(char* description) {
  return Guarded([&] { return g_library.GetLastError(description); });
}
#endif

#if !defined(PTSIM_OMIT_PassThruIoctl)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruIoctl(uint32_t handle_id, uint32_t ioctl_id, void* input,
                                                void* output) {
  return Guarded([&] { return g_library.Ioctl(handle_id, ioctl_id, input, output); });
}
#endif

#if defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruScanForDevices)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruScanForDevices(uint32_t* device_count) {
  return Guarded([&] { return g_library.ScanForDevices(device_count); });
}
#endif

#if defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruGetNextDevice)
PTSIM_EXPORT int32_t PASSTHRU_API PassThruGetNextDevice(tarnix::passthru::SDevice* device) {
  return Guarded([&] { return g_library.GetNextDevice(device); });
}
#endif

}  // extern "C"

// Each definition has exactly the signature the bridge calls it through.
namespace {
namespace abi = tarnix::passthru;
#if !defined(PTSIM_OMIT_PassThruOpen)
[[maybe_unused]] constexpr abi::PassThruOpenFn kOpen = &PassThruOpen;
#endif
#if !defined(PTSIM_OMIT_PassThruClose)
[[maybe_unused]] constexpr abi::PassThruCloseFn kClose = &PassThruClose;
#endif
#if !defined(PTSIM_OMIT_PassThruConnect) && defined(PTSIM_FORM_0500)
[[maybe_unused]] constexpr abi::PassThruConnect0500Fn kConnect = &PassThruConnect;
#elif !defined(PTSIM_OMIT_PassThruConnect)
[[maybe_unused]] constexpr abi::PassThruConnectFn kConnect = &PassThruConnect;
#endif
#if !defined(PTSIM_OMIT_PassThruDisconnect)
[[maybe_unused]] constexpr abi::PassThruDisconnectFn kDisconnect = &PassThruDisconnect;
#endif
#if !defined(PTSIM_OMIT_PassThruReadMsgs)
[[maybe_unused]] constexpr abi::PassThruReadWriteFn kRead = &PassThruReadMsgs;
#endif
#if (!defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruWriteMsgs)) || \
    defined(PTSIM_ADD_PassThruWriteMsgs)
[[maybe_unused]] constexpr abi::PassThruReadWriteFn kWrite = &PassThruWriteMsgs;
#endif
#if defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruQueueMsgs)
[[maybe_unused]] constexpr abi::PassThruQueueMsgsFn kQueue = &PassThruQueueMsgs;
#endif
#if !defined(PTSIM_OMIT_PassThruStartPeriodicMsg)
[[maybe_unused]] constexpr abi::PassThruStartPeriodicMsgFn kStartPeriodic =
    &PassThruStartPeriodicMsg;
#endif
#if !defined(PTSIM_OMIT_PassThruStopPeriodicMsg)
[[maybe_unused]] constexpr abi::PassThruStopPeriodicMsgFn kStopPeriodic = &PassThruStopPeriodicMsg;
#endif
#if !defined(PTSIM_OMIT_PassThruStartMsgFilter) && defined(PTSIM_FORM_0500)
[[maybe_unused]] constexpr abi::PassThruStartMsgFilter0500Fn kStartFilter = &PassThruStartMsgFilter;
#elif !defined(PTSIM_OMIT_PassThruStartMsgFilter)
[[maybe_unused]] constexpr abi::PassThruStartMsgFilterFn kStartFilter = &PassThruStartMsgFilter;
#endif
#if !defined(PTSIM_OMIT_PassThruStopMsgFilter)
[[maybe_unused]] constexpr abi::PassThruStopMsgFilterFn kStopFilter = &PassThruStopMsgFilter;
#endif
#if !defined(PTSIM_OMIT_PassThruSetProgrammingVoltage)
[[maybe_unused]] constexpr abi::PassThruSetProgrammingVoltageFn kSetVoltage =
    &PassThruSetProgrammingVoltage;
#endif
#if !defined(PTSIM_OMIT_PassThruReadVersion)
[[maybe_unused]] constexpr abi::PassThruReadVersionFn kReadVersion = &PassThruReadVersion;
#endif
#if !defined(PTSIM_OMIT_PassThruGetLastError)
[[maybe_unused]] constexpr abi::PassThruGetLastErrorFn kGetLastError = &PassThruGetLastError;
#endif
#if !defined(PTSIM_OMIT_PassThruIoctl)
[[maybe_unused]] constexpr abi::PassThruIoctlFn kIoctl = &PassThruIoctl;
#endif
#if defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruScanForDevices)
[[maybe_unused]] constexpr abi::PassThruScanForDevicesFn kScan = &PassThruScanForDevices;
#endif
#if defined(PTSIM_FORM_0500) && !defined(PTSIM_OMIT_PassThruGetNextDevice)
[[maybe_unused]] constexpr abi::PassThruGetNextDeviceFn kNextDevice = &PassThruGetNextDevice;
#endif
}  // namespace
