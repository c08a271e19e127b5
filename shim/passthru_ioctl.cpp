// PassThruIoctl: the ioctls with methods of their own go to those, the others to the bridge's
// Ioctl with the input and output they take. An ioctl whose pointers this library cannot read
// goes nowhere: ERR_NOT_SUPPORTED.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "shim/passthru.h"
#include "shim/wire_records.h"

namespace tarnix::shim {
namespace {

std::string IoctlText(uint32_t ioctl_id) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", ioctl_id);
  return std::string("ioctl ") + hex;
}

}  // namespace

bool PassThru::IsDevice(uint32_t handle, bool device_first) const {
  return handle == kDeviceId && (device_first || !channels_.contains(handle));
}

void PassThru::AddHandle(Request& request, uint32_t handle, bool device_first) const {
  if (IsDevice(handle, device_first)) {
    request.Flag("device", true);
  } else {
    request.Number("channel", handle);
  }
}

int32_t PassThru::Ioctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    const char* buffer = nullptr;
    switch (ioctl_id) {
      case kGetConfig:
      case kSetConfig:
        return ConfigIoctl(handle, ioctl_id, input);
      case kReadVbatt:
      case kReadProgVoltage:
        return VoltageIoctl(handle, ioctl_id, output);
      case kFiveBaudInit:
      case kFastInit:
        return InitIoctl(handle, ioctl_id, input, output);
      case kClearTxBuffer:
        buffer = "tx";
        [[fallthrough]];
      case kClearRxBuffer: {
        Request request = NewRequest("ClearBuffers");
        request.Number("channel", handle).Text("buffer", buffer != nullptr ? buffer : "rx");
        return Status(request);
      }
      case kClearPeriodicMsgs:
      case kClearMsgFilters: {
        Request request =
            NewRequest(ioctl_id == kClearPeriodicMsgs ? "ClearPeriodicMessages" : "ClearFilters");
        request.Number("channel", handle);
        return Status(request);
      }
      default:
        return OtherIoctl(handle, ioctl_id, input, output);
    }
  });
}

uint32_t PassThru::ConfigIoctl(uint32_t handle, uint32_t ioctl_id, void* input) {
  const auto* list = static_cast<const SConfigList*>(input);
  if (list == nullptr || (list->NumOfParams > 0 && list->ConfigPtr == nullptr)) {
    return Failed(kErrNullParameter, "no parameter list");
  }
  const bool get = ioctl_id == kGetConfig;
  Request request = NewRequest(get ? "GetConfig" : "SetConfig");
  request.Number("channel", handle);
  JsonWriter& out = request.params();
  out.Key("parameters");
  out.BeginArray();
  for (uint32_t i = 0; i < list->NumOfParams; ++i) {
    if (get) {
      out.Unsigned(list->ConfigPtr[i].Parameter);
      continue;
    }
    out.BeginObject();
    out.Key("parameter");
    out.Unsigned(list->ConfigPtr[i].Parameter);
    out.Key("value");
    out.Unsigned(list->ConfigPtr[i].Value);
    out.EndObject();
  }
  out.EndArray();
  uint32_t status = kStatusNoError;
  const std::optional<Answer> answer = Call(request, 0, status);
  if (!answer || !get) return status;
  if (!ReadParametersData(answer->data, list->ConfigPtr, list->NumOfParams)) {
    return Garbled(request.method());
  }
  return kStatusNoError;
}

uint32_t PassThru::VoltageIoctl(uint32_t handle, uint32_t ioctl_id, void* output) {
  if (output == nullptr) return Failed(kErrNullParameter, "no place for the voltage");
  Request request =
      NewRequest(ioctl_id == kReadVbatt ? "ReadBatteryVoltage" : "ReadProgrammingVoltage");
  AddHandle(request, handle, true);
  uint32_t status = kStatusNoError;
  const std::optional<Answer> answer = Call(request, 0, status);
  if (!answer) return status;
  const std::optional<uint32_t> millivolts = ReadMillivoltsData(answer->data);
  if (!millivolts) return Garbled(request.method());
  *static_cast<uint32_t*>(output) = *millivolts;
  return kStatusNoError;
}

uint32_t PassThru::InitIoctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output) {
  if (input == nullptr || output == nullptr) return Failed(kErrNullParameter, "no input or output");
  uint32_t status = kStatusNoError;
  if (ioctl_id == kFastInit) {
    const auto* message = static_cast<const PassThruMsg0404*>(input);
    if (message->DataSize > kMaxDataSize) return Failed(kErrInvalidMsg, "the request is too long");
    Request request = NewRequest("FastInit");
    request.Number("channel", handle).Flag("as_records", true);
    request.params().Key("record");
    WriteRecord(request.params(), *message);
    const std::optional<Answer> answer = Call(request, 0, status, true);
    if (!answer) return status;
    const std::optional<uint32_t> given =
        ReadRecordsData(answer->data, static_cast<PassThruMsg0404*>(output), 1);
    return given && *given >= 1 ? kStatusNoError : Garbled(request.method());
  }
  const auto* address = static_cast<const SByteArray*>(input);
  auto* keywords = static_cast<SByteArray*>(output);
  if ((address->NumOfBytes > 0 && address->BytePtr == nullptr) ||
      (keywords->NumOfBytes > 0 && keywords->BytePtr == nullptr)) {
    return Failed(kErrNullParameter, "no bytes");
  }
  Request request = NewRequest("FiveBaudInit");
  request.Number("channel", handle);
  JsonWriter& out = request.params();
  out.Key("data");
  out.BeginArray();
  for (uint32_t i = 0; i < address->NumOfBytes; ++i)
    out.Unsigned(address->BytePtr[i]);
  out.EndArray();
  const std::optional<Answer> answer = Call(request, 0, status, true);
  if (!answer) return status;
  const std::optional<std::vector<uint8_t>> bytes = ReadFirstMessageBytes(answer->data);
  if (!bytes) return Garbled(request.method());
  const uint32_t count = std::min<uint32_t>(keywords->NumOfBytes, bytes->size());
  std::copy_n(bytes->begin(), count, keywords->BytePtr);
  keywords->NumOfBytes = count;
  return kStatusNoError;
}

uint32_t PassThru::OtherIoctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output) {
  const bool bytes_in =
      ioctl_id == kAddToFunctMsgLookupTable || ioctl_id == kDeleteFromFunctMsgLookupTable;
  // The ioctls known to take no input and give no output go as they are, whatever the pointers;
  // an unknown one only when both pointers are null, since what they point at is unknown.
  const bool nothing = ioctl_id == kClearFunctMsgLookupTable || ioctl_id == kSwCanHs ||
                       ioctl_id == kSwCanNs || (input == nullptr && output == nullptr);
  if (!bytes_in && !nothing) {
    return Failed(kErrNotSupported, IoctlText(ioctl_id) +
                                        ": what its input and output point at is unknown to "
                                        "this library, so they cannot reach the bridge");
  }
  Request request = NewRequest("Ioctl");
  request.Number("ioctl_id", ioctl_id);
  AddHandle(request, handle, false);
  if (bytes_in) {
    const auto* table = static_cast<const SByteArray*>(input);
    if (table == nullptr || (table->NumOfBytes > 0 && table->BytePtr == nullptr)) {
      return Failed(kErrNullParameter, "no bytes");
    }
    JsonWriter& out = request.params();
    out.Key("input_bytes");
    out.BeginArray();
    for (uint32_t i = 0; i < table->NumOfBytes; ++i)
      out.Unsigned(table->BytePtr[i]);
    out.EndArray();
  }
  return Status(request);
}

}  // namespace tarnix::shim
