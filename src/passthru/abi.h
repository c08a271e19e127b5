// The binary interface of a J2534 PassThru library: records, text buffers and entry-point
// signatures, in the 04.04 and the 05.00 forms. Shared by the bridge, its trace and ptsim.
#pragma once

#include <cstddef>
#include <cstdint>

// Entry points use the Windows API convention in 32-bit Windows (the callee pops its arguments).
#if defined(_WIN32) && !defined(_WIN64)
#define PASSTHRU_API __stdcall
#else
#define PASSTHRU_API
#endif

namespace tarnix::passthru {

/// Bytes of message data a 04.04 record holds, and the receive buffer of a 05.00 record.
inline constexpr size_t kMaxDataSize = 4128;

/// Bytes of the text buffers of PassThruReadVersion and PassThruGetLastError, terminating zero
/// included.
inline constexpr size_t kTextSize = 80;

/// The 04.04 message record: 4152 bytes, no padding.
struct PassThruMsg0404 {
  uint32_t ProtocolID;
  uint32_t RxStatus;
  uint32_t TxFlags;
  uint32_t Timestamp;
  uint32_t DataSize;
  uint32_t ExtraDataIndex;
  uint8_t Data[kMaxDataSize];
};
static_assert(sizeof(PassThruMsg0404) == 4152);
static_assert(offsetof(PassThruMsg0404, Data) == 24);

/// The 05.00 message record: packed, its data in a separate buffer.
#pragma pack(push, 1)
struct PassThruMsg0500 {
  uint32_t ProtocolID;
  uint32_t MsgHandle;
  uint32_t RxStatus;
  uint32_t TxFlags;
  uint32_t Timestamp;
  uint32_t DataLength;
  uint32_t ExtraDataIndex;
  uint8_t* DataBuffer;
  uint32_t DataBufferSize;
};
#pragma pack(pop)
static_assert(offsetof(PassThruMsg0500, DataBuffer) == 28);
static_assert(sizeof(PassThruMsg0500) == (sizeof(void*) == 8 ? 40 : 36));

/// Ioctl records, with natural alignment.
struct SConfig {
  uint32_t Parameter;
  uint32_t Value;
};
struct SConfigList {
  uint32_t NumOfParams;
  SConfig* ConfigPtr;
};
struct SByteArray {
  uint32_t NumOfBytes;
  uint8_t* BytePtr;
};
struct ResourceStruct {
  uint32_t Connector;
  uint32_t NumOfResources;
  uint32_t* ResourceListPtr;
};
/// A device a 05.00 scan found (SDEVICE): its name and state, as the library fills them.
struct SDevice {
  char DeviceName[80];
  uint32_t DeviceAvailable;
  uint32_t DeviceDLLFWStatus;
  uint32_t DeviceConnectMedia;
  uint32_t DeviceConnectSpeed;
  uint32_t DeviceSignalQuality;
  uint32_t DeviceSignalStrength;
};
static_assert(sizeof(SConfig) == 8);
static_assert(sizeof(SDevice) == 104);
static_assert(offsetof(SConfigList, ConfigPtr) == sizeof(void*));
static_assert(offsetof(SByteArray, BytePtr) == sizeof(void*));
static_assert(sizeof(ResourceStruct) == (sizeof(void*) == 8 ? 16 : 12));

/// Entry-point signatures. Where the forms differ, the 05.00 one carries the suffix 0500.
extern "C" {
using PassThruOpenFn = int32_t(PASSTHRU_API*)(const void* name, uint32_t* device_id);
using PassThruCloseFn = int32_t(PASSTHRU_API*)(uint32_t device_id);
using PassThruConnectFn = int32_t(PASSTHRU_API*)(uint32_t device_id, uint32_t protocol_id,
                                                 uint32_t flags, uint32_t baud_rate,
                                                 uint32_t* channel_id);
using PassThruConnect0500Fn = int32_t(PASSTHRU_API*)(uint32_t device_id, uint32_t protocol_id,
                                                     uint32_t flags, uint32_t baud_rate,
                                                     ResourceStruct resources,
                                                     uint32_t* channel_id);
using PassThruDisconnectFn = int32_t(PASSTHRU_API*)(uint32_t channel_id);
/// PassThruReadMsgs and PassThruWriteMsgs; `messages` points at 04.04 or 05.00 records.
using PassThruReadWriteFn = int32_t(PASSTHRU_API*)(uint32_t channel_id, void* messages,
                                                   uint32_t* count, uint32_t timeout_ms);
/// PassThruQueueMsgs takes the standard's three arguments, without a timeout.
using PassThruQueueMsgsFn = int32_t(PASSTHRU_API*)(uint32_t channel_id, void* messages,
                                                   uint32_t* count);
using PassThruStartPeriodicMsgFn = int32_t(PASSTHRU_API*)(uint32_t channel_id, const void* message,
                                                          uint32_t* message_id,
                                                          uint32_t interval_ms);
using PassThruStopPeriodicMsgFn = int32_t(PASSTHRU_API*)(uint32_t channel_id, uint32_t message_id);
using PassThruStartMsgFilterFn = int32_t(PASSTHRU_API*)(uint32_t channel_id, uint32_t filter_type,
                                                        const void* mask, const void* pattern,
                                                        const void* flow_control,
                                                        uint32_t* filter_id);
using PassThruStartMsgFilter0500Fn = int32_t(PASSTHRU_API*)(uint32_t channel_id,
                                                            uint32_t filter_type, const void* mask,
                                                            const void* pattern,
                                                            uint32_t* filter_id);
using PassThruStopMsgFilterFn = int32_t(PASSTHRU_API*)(uint32_t channel_id, uint32_t filter_id);
using PassThruSetProgrammingVoltageFn = int32_t(PASSTHRU_API*)(uint32_t device_id, uint32_t pin,
                                                               uint32_t voltage);
using PassThruReadVersionFn = int32_t(PASSTHRU_API*)(uint32_t device_id, char* firmware,
                                                     char* library, char* api);
using PassThruGetLastErrorFn = int32_t(PASSTHRU_API*)(char* description);
using PassThruIoctlFn = int32_t(PASSTHRU_API*)(uint32_t handle_id, uint32_t ioctl_id, void* input,
                                               void* output);
using PassThruScanForDevicesFn = int32_t(PASSTHRU_API*)(uint32_t* device_count);
using PassThruGetNextDeviceFn = int32_t(PASSTHRU_API*)(SDevice* device);
}

#if defined(_WIN32) && !defined(_WIN64)
// Only the 32-bit Windows compiler tells the conventions apart. A pointer type that lost its
// stdcall would still compile and call, then leave the arguments on the stack at every call.
namespace abi_check {
template <typename F>
inline constexpr bool kStdcall = false;
template <typename R, typename... A>
inline constexpr bool kStdcall<R(__stdcall*)(A...)> = true;
template <typename... F>
inline constexpr bool kAllStdcall = (kStdcall<F> && ...);
}  // namespace abi_check
static_assert(
    abi_check::kAllStdcall<
        PassThruOpenFn, PassThruCloseFn, PassThruConnectFn, PassThruConnect0500Fn,
        PassThruDisconnectFn, PassThruReadWriteFn, PassThruQueueMsgsFn, PassThruStartPeriodicMsgFn,
        PassThruStopPeriodicMsgFn, PassThruStartMsgFilterFn, PassThruStartMsgFilter0500Fn,
        PassThruStopMsgFilterFn, PassThruSetProgrammingVoltageFn, PassThruReadVersionFn,
        PassThruGetLastErrorFn, PassThruIoctlFn, PassThruScanForDevicesFn, PassThruGetNextDeviceFn>,
    "every PassThru entry point is stdcall in 32-bit Windows");
static_assert(!abi_check::kStdcall<int32_t (*)(uint32_t)>, "the check tells cdecl apart");
#endif

}  // namespace tarnix::passthru
