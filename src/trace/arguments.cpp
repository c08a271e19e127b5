// The members before "ret" of each entry point's line.
#include "trace/arguments.h"

#include <cstring>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "trace/caller_memory.h"

namespace tarnix::trace {
namespace {

/// A count the caller passes by pointer, or null.
Value CountOrNull(const uint32_t* count) {
  if (count == nullptr) return NullPointer{};
  return uint64_t{*count};
}

/// What `pointer` points at, as `kind` says; a null pointer, or a pointer of no declared kind, as
/// itself.
Value Shaped(Form form, IoctlShape::Kind kind, const void* pointer) {
  if (pointer == nullptr) return NullPointer{};
  switch (kind) {
    case IoctlShape::Kind::kNumber:
      return uint64_t{*static_cast<const uint32_t*>(pointer)};
    case IoctlShape::Kind::kBytes:
      return ByteArrayOrNull(static_cast<const passthru::SByteArray*>(pointer));
    case IoctlShape::Kind::kConfig:
      return ConfigList(static_cast<const passthru::SConfigList*>(pointer));
    case IoctlShape::Kind::kRecord:
      return ReadRecord(form, pointer);
    case IoctlShape::Kind::kNone:
      break;
  }
  return NonNullPointer{};
}

}  // namespace

Fields OpenArgs(const void* name) {
  Fields args;
  if (name == nullptr) return args.Null("name");
  return args.Str("name", static_cast<const char*>(name));
}

Fields CloseArgs(uint32_t device_id) {
  return Fields().Num("deviceId", device_id);
}

Fields ConnectArgs(uint32_t device_id, uint32_t protocol_id, uint32_t flags, uint32_t baud_rate,
                   const passthru::ResourceStruct* resources) {
  Fields args;
  args.Num("deviceId", device_id).Num("protocolId", protocol_id).Num("flags", flags);
  args.Num("baudRate", baud_rate);
  if (resources != nullptr) args.Add("resource", ResourceOf(*resources));
  return args;
}

Fields DisconnectArgs(uint32_t channel_id) {
  return Fields().Num("channelId", channel_id);
}

Fields ReadMsgsArgs(uint32_t channel_id, const uint32_t* count, uint32_t timeout_ms) {
  Fields args;  // built in place: ptsim builds these at every read
  args.Num("channelId", channel_id).Add("count", CountOrNull(count)).Num("timeout", timeout_ms);
  return args;
}

Fields WriteMsgsArgs(Form form, uint32_t channel_id, const void* msgs, const uint32_t* count,
                     std::optional<uint32_t> timeout_ms) {
  Fields args;
  args.Num("channelId", channel_id).Add("count", CountOrNull(count));
  if (timeout_ms) args.Num("timeout", *timeout_ms);
  if (msgs == nullptr) return args.Null("msgs");
  return args.Add("msgs", ReadRecords(form, msgs, count == nullptr ? 0 : *count));
}

Fields StartPeriodicMsgArgs(Form form, uint32_t channel_id, const void* msg, uint32_t interval_ms) {
  return Fields()
      .Num("channelId", channel_id)
      .Add("msg", RecordOrNull(form, msg))
      .Num("interval", interval_ms);
}

Fields StopPeriodicMsgArgs(uint32_t channel_id, uint32_t msg_id) {
  return Fields().Num("channelId", channel_id).Num("msgId", msg_id);
}

Fields StartMsgFilterArgs(Form form, uint32_t channel_id, uint32_t filter_type, const void* mask,
                          const void* pattern, std::optional<const void*> flow_control) {
  Fields args;
  args.Num("channelId", channel_id).Num("filterType", filter_type);
  args.Str("filterTypeName", passthru::FilterTypeName(filter_type).value_or("UNKNOWN"));
  args.Add("mask", RecordOrNull(form, mask)).Add("pattern", RecordOrNull(form, pattern));
  if (flow_control) args.Add("flowControl", RecordOrNull(form, *flow_control));
  return args;
}

Fields StopMsgFilterArgs(uint32_t channel_id, uint32_t filter_id) {
  return Fields().Num("channelId", channel_id).Num("filterId", filter_id);
}

Fields SetProgrammingVoltageArgs(uint32_t device_id, uint32_t pin, uint32_t voltage) {
  return Fields().Num("deviceId", device_id).Num("pin", pin).Num("voltage", voltage);
}

Fields ReadVersionArgs(uint32_t device_id) {
  return Fields().Num("deviceId", device_id);
}

Fields IoctlArgs(Form form, uint32_t handle, uint32_t ioctl_id, const void* input,
                 const void* output, const IoctlShape* shape) {
  Fields args;
  args.Num("handle", handle).Num("ioctlId", ioctl_id);
  args.Str("ioctl", passthru::IoctlName(ioctl_id).value_or("UNKNOWN"));
  switch (ioctl_id) {
    case passthru::kGetConfig:
    case passthru::kSetConfig:
      return args;  // AddConfigArgs, after the call
    case passthru::kReadVbatt:
    case passthru::kReadProgVoltage:
      return args.Pointer("input", input);
    case passthru::kFiveBaudInit: {
      const auto* capacity = static_cast<const passthru::SByteArray*>(output);
      args.Add("input", ByteArrayOrNull(static_cast<const passthru::SByteArray*>(input)));
      if (capacity == nullptr) return args.Null("outputCapacity");
      return args.Num("outputCapacity", capacity->NumOfBytes);
    }
    case passthru::kFastInit:
      args.Add("input", RecordOrNull(form, input));
      if (output == nullptr) return args.Null("outputCapacity");
      if (form == Form::k0404) return args.Num("outputCapacity", passthru::kMaxDataSize);
      return args.Num("outputCapacity",
                      static_cast<const passthru::PassThruMsg0500*>(output)->DataBufferSize);
    default:
      if (shape != nullptr) return args.Add("input", Shaped(form, shape->input, input));
      return args.Pointer("input", input).Pointer("output", output);
  }
}

void AddIoctlOutput(Fields& out, Form form, const IoctlShape& shape, const void* output,
                    bool succeeded) {
  if (!succeeded || shape.output == IoctlShape::Kind::kNone) {
    out.Pointer("output", output);
    return;
  }
  out.Add("output", Shaped(form, shape.output, output));
}

void AddDeviceOutputs(Fields& out, const passthru::SDevice& device) {
  const void* end = std::memchr(device.DeviceName, 0, sizeof device.DeviceName);
  const size_t length = end != nullptr
                            ? static_cast<size_t>(static_cast<const char*>(end) - device.DeviceName)
                            : sizeof device.DeviceName;
  out.Str("name", std::string_view(device.DeviceName, length))
      .Num("available", device.DeviceAvailable)
      .Num("dllFwStatus", device.DeviceDLLFWStatus)
      .Num("connectMedia", device.DeviceConnectMedia)
      .Num("connectSpeed", device.DeviceConnectSpeed)
      .Num("signalQuality", device.DeviceSignalQuality)
      .Num("signalStrength", device.DeviceSignalStrength);
}

void AddConfigArgs(Fields& args, const void* input, const void* output) {
  args.Add("input", ConfigList(static_cast<const passthru::SConfigList*>(input)));
  args.Pointer("output", output);
}

}  // namespace tarnix::trace
