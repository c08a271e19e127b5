// The arguments of every entry point as a call line shows them, read from what the caller passed.
// ptsim's call log and the bridge's trace build their lines' arguments here, so both show a call
// with the same members in the same order.
#pragma once

#include <cstdint>
#include <optional>

#include "passthru/abi.h"
#include "trace/call.h"

namespace tarnix::trace {

// Read before the call: counts and capacities are the ones the caller gave.
Fields OpenArgs(const void* name);
Fields CloseArgs(uint32_t device_id);
/// `resources` is the 05.00 RESOURCE_STRUCT, null in the 04.04 form.
Fields ConnectArgs(uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                   const passthru::ResourceStruct* resources);
Fields DisconnectArgs(uint32_t channel_id);
Fields ReadMsgsArgs(uint32_t channel_id, const uint32_t* count, uint32_t timeout_ms);
/// PassThruWriteMsgs (with its timeout) and PassThruQueueMsgs (`timeout_ms` absent).
Fields WriteMsgsArgs(Form form, uint32_t channel_id, const void* msgs, const uint32_t* count,
                     std::optional<uint32_t> timeout_ms);
Fields StartPeriodicMsgArgs(Form form, uint32_t channel_id, const void* msg, uint32_t interval_ms);
Fields StopPeriodicMsgArgs(uint32_t channel_id, uint32_t msg_id);
/// `flow_control` is present in the 04.04 form (and may hold a null pointer), absent in 05.00.
Fields StartMsgFilterArgs(Form form, uint32_t channel_id, uint32_t filter_type, const void* mask,
                          const void* pattern, std::optional<const void*> flow_control);
Fields StopMsgFilterArgs(uint32_t channel_id, uint32_t filter_id);
Fields SetProgrammingVoltageArgs(uint32_t device_id, uint32_t pin, uint32_t voltage);
Fields ReadVersionArgs(uint32_t device_id);

/// What a caller declared an ioctl's input and output to be, for the ioctls that the line format
/// does not know by their id.
struct IoctlShape {
  enum class Kind : uint8_t { kNone, kNumber, kBytes, kConfig, kRecord };
  Kind input = Kind::kNone;
  Kind output = Kind::kNone;
};

/// handle, ioctlId, ioctl and what the ioctl takes in. The SCONFIG list of GET_CONFIG and
/// SET_CONFIG is left to AddConfigArgs after the call. An ioctl the format does not know shows
/// its input as `shape` declares it and leaves its output to AddIoctlOutput; without a shape both
/// are pointers.
Fields IoctlArgs(Form form, uint32_t handle, uint32_t ioctl_id, const void* input,
                 const void* output, const IoctlShape* shape = nullptr);

/// Read after the call of an ioctl with `shape` (see IoctlArgs): its "output" as declared when
/// the call succeeded, else the pointer.
void AddIoctlOutput(Fields& out, Form form, const IoctlShape& shape, const void* output,
                    bool succeeded);
/// The outputs of PassThruGetNextDevice: "name" and the device's numbers.
void AddDeviceOutputs(Fields& out, const passthru::SDevice& device);

/// Read after the call: the "input" and "output" of GET_CONFIG and SET_CONFIG, so that GET_CONFIG
/// shows the values returned.
void AddConfigArgs(Fields& args, const void* input, const void* output);

}  // namespace tarnix::trace
