// Each PassThru entry point called and recorded in the connection's trace: its arguments as the
// bridge passed them, its status, and its outputs as the bridge got them back. One function per
// entry-point signature; `name` tells apart the entry points that share one.
#pragma once

#include <cstdint>

#include "passthru/abi.h"

namespace tarnix::j2534 {

class CallTracer;

/// Whether calls through `tracer` are still recorded (the size bound may have stopped it).
bool IsRecording(const CallTracer& tracer);

int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruOpenFn fn,
                   const void* device_name, uint32_t* device_id);
/// PassThruClose and PassThruDisconnect.
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruCloseFn fn, uint32_t id);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruConnectFn fn,
                   uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                   uint32_t* channel_id);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruConnect0500Fn fn,
                   uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                   passthru::ResourceStruct resources, uint32_t* channel_id);
/// PassThruReadMsgs and PassThruWriteMsgs.
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruReadWriteFn fn,
                   uint32_t channel_id, void* messages, uint32_t* count, uint32_t timeout_ms);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruQueueMsgsFn fn,
                   uint32_t channel_id, void* messages, uint32_t* count);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStartPeriodicMsgFn fn,
                   uint32_t channel_id, const void* message, uint32_t* message_id,
                   uint32_t interval_ms);
/// PassThruStopPeriodicMsg and PassThruStopMsgFilter.
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStopMsgFilterFn fn,
                   uint32_t channel_id, uint32_t id);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStartMsgFilterFn fn,
                   uint32_t channel_id, uint32_t filter_type, const void* mask, const void* pattern,
                   const void* flow_control, uint32_t* filter_id);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruStartMsgFilter0500Fn fn,
                   uint32_t channel_id, uint32_t filter_type, const void* mask, const void* pattern,
                   uint32_t* filter_id);
int32_t TracedCall(CallTracer& tracer, const char* name,
                   passthru::PassThruSetProgrammingVoltageFn fn, uint32_t device_id, uint32_t pin,
                   uint32_t voltage);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruReadVersionFn fn,
                   uint32_t device_id, char* firmware, char* library, char* api);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruGetLastErrorFn fn,
                   char* description);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruIoctlFn fn,
                   uint32_t handle, uint32_t ioctl_id, void* input, void* output);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruScanForDevicesFn fn,
                   uint32_t* device_count);
int32_t TracedCall(CallTracer& tracer, const char* name, passthru::PassThruGetNextDeviceFn fn,
                   passthru::SDevice* device);

}  // namespace tarnix::j2534
