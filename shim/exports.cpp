// The exported 04.04 entry points of the forwarding library: each runs the shared PassThru state's
// call, and nothing of C++ escapes into the application.
#include <cstdint>

#include "platform/dynamic_library.h"
#include "shim/passthru.h"

#if defined(_WIN32)
#define TARNIX_EXPORT __declspec(dllexport)
#else
#define TARNIX_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using tarnix::shim::PassThru;
using tarnix::shim::PassThruMsg0404;

/// The library's state, made at the first call (never under the loader's lock). A function's
/// static is destroyed when the library is unloaded or the process ends, which lets go of a
/// bridge the application left open.
PassThru& Shim() {
  static const char anchor = 0;  // an address inside this library's image
  static PassThru shim(tarnix::platform::LibraryPathOf(&anchor));
  return shim;
}

/// Runs an entry point's body; nothing may escape into a caller that knows no C++.
template <typename Body>
int32_t Guarded(Body&& body) noexcept {
  try {
    return body(Shim());
  } catch (...) {
    return static_cast<int32_t>(tarnix::shim::kErrFailed);
  }
}

PassThruMsg0404* Records(void* messages) {
  return static_cast<PassThruMsg0404*>(messages);
}
const PassThruMsg0404* Record(const void* message) {
  return static_cast<const PassThruMsg0404*>(message);
}

}  // namespace

extern "C" {

TARNIX_EXPORT int32_t PASSTHRU_API PassThruOpen(const void* name, uint32_t* device_id) {
  return Guarded([&](PassThru& shim) { return shim.Open(name, device_id); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruClose(uint32_t device_id) {
  return Guarded([&](PassThru& shim) { return shim.Close(device_id); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruConnect(uint32_t device_id, uint32_t protocol_id,
                                                   uint32_t flags, uint32_t baud_rate,
                                                   uint32_t* channel_id) {
  return Guarded([&](PassThru& shim) {
    return shim.Connect(device_id, protocol_id, flags, baud_rate, channel_id);
  });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruDisconnect(uint32_t channel_id) {
  return Guarded([&](PassThru& shim) { return shim.Disconnect(channel_id); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruReadMsgs(uint32_t channel_id, void* messages,
                                                    uint32_t* count, uint32_t timeout_ms) {
  return Guarded([&](PassThru& shim) {
    return shim.ReadMsgs(channel_id, Records(messages), count, timeout_ms);
  });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruWriteMsgs(uint32_t channel_id, void* messages,
                                                     uint32_t* count, uint32_t timeout_ms) {
  return Guarded([&](PassThru& shim) {
    return shim.WriteMsgs(channel_id, Records(messages), count, timeout_ms);
  });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruStartPeriodicMsg(uint32_t channel_id,
                                                            const void* message,
                                                            uint32_t* message_id,
                                                            uint32_t interval_ms) {
  return Guarded([&](PassThru& shim) {
    return shim.StartPeriodicMsg(channel_id, Record(message), message_id, interval_ms);
  });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruStopPeriodicMsg(uint32_t channel_id,
                                                           uint32_t message_id) {
  return Guarded([&](PassThru& shim) { return shim.StopPeriodicMsg(channel_id, message_id); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruStartMsgFilter(uint32_t channel_id, uint32_t filter_type,
                                                          const void* mask, const void* pattern,
                                                          const void* flow_control,
                                                          uint32_t* filter_id) {
  return Guarded([&](PassThru& shim) {
    return shim.StartMsgFilter(channel_id, filter_type, Record(mask), Record(pattern),
                               Record(flow_control), filter_id);
  });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruStopMsgFilter(uint32_t channel_id, uint32_t filter_id) {
  return Guarded([&](PassThru& shim) { return shim.StopMsgFilter(channel_id, filter_id); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruSetProgrammingVoltage(uint32_t device_id, uint32_t pin,
                                                                 uint32_t voltage) {
  return Guarded(
      [&](PassThru& shim) { return shim.SetProgrammingVoltage(device_id, pin, voltage); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruReadVersion(uint32_t device_id, char* firmware,
                                                       char* dll, char* api) {
  return Guarded([&](PassThru& shim) { return shim.ReadVersion(device_id, firmware, dll, api); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruGetLastError(char* description) {
  return Guarded([&](PassThru& shim) { return shim.GetLastError(description); });
}

TARNIX_EXPORT int32_t PASSTHRU_API PassThruIoctl(uint32_t handle_id, uint32_t ioctl_id, void* input,
                                                 void* output) {
  return Guarded([&](PassThru& shim) { return shim.Ioctl(handle_id, ioctl_id, input, output); });
}

}  // extern "C"
