// ptsim's ioctls beyond the basic ones: J1850PWM lookup tables, single-wire CAN speeds, and
// ptsim's own ioctls, each logged with the input and output it takes.
#include <algorithm>
#include <cstring>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "sim/library.h"

namespace tarnix::sim {
namespace {

using Kind = trace::IoctlShape::Kind;

/// Fills an output SBYTE_ARRAY with as much of `bytes` as it holds.
Status PutBytes(passthru::SByteArray* output, const std::vector<uint8_t>& bytes) {
  if (output == nullptr || output->BytePtr == nullptr) {
    return Refuse(passthru::kErrNullParameter, "the output SBYTE_ARRAY or its bytes are null");
  }
  const uint32_t n = std::min(static_cast<uint32_t>(bytes.size()), output->NumOfBytes);
  std::memcpy(output->BytePtr, bytes.data(), n);
  output->NumOfBytes = n;
  return {};
}

}  // namespace

std::optional<trace::IoctlShape> ShapeOf(uint32_t ioctl_id) {
  switch (ioctl_id) {
    case passthru::kClearFunctMsgLookupTable:
    case passthru::kSwCanHs:
    case passthru::kSwCanNs:
      return trace::IoctlShape{};
    case passthru::kAddToFunctMsgLookupTable:
    case passthru::kDeleteFromFunctMsgLookupTable:
      return trace::IoctlShape{Kind::kBytes, Kind::kNone};
    case kPtsimGetSerial:
      return trace::IoctlShape{Kind::kNone, Kind::kBytes};
    case kPtsimQueued:
      return trace::IoctlShape{Kind::kNone, Kind::kNumber};
    case kPtsimInject:
      return trace::IoctlShape{Kind::kRecord, Kind::kNone};
    case kPtsimConfigList:
      return trace::IoctlShape{Kind::kConfig, Kind::kConfig};
    case kPtsimLastSent:
      return trace::IoctlShape{Kind::kNone, Kind::kRecord};
    default:
      return std::nullopt;
  }
}

int32_t Library::ShapedIoctl(Call& call, const trace::IoctlShape& shape, uint32_t handle,
                             uint32_t ioctl_id, void* input, void* output) {
  if (call.injected()) {
    trace::AddIoctlOutput(call.out(), form_, shape, output, false);
    return call.ReturnInjected();
  }
  if (call.replay() != nullptr) return ReplayShaped(call, &shape, output);
  const Status status = RunShaped(call, handle, ioctl_id, input, output);
  trace::AddIoctlOutput(call.out(), form_, shape, output, status.ok());
  return call.Return(status);
}

Status Library::RunShaped(Call& call, uint32_t handle, uint32_t ioctl_id, void* input,
                          void* output) {
  switch (ioctl_id) {
    case passthru::kClearFunctMsgLookupTable:
      return device_.LookupTable(handle, ioctl_id, {});
    case passthru::kAddToFunctMsgLookupTable:
    case passthru::kDeleteFromFunctMsgLookupTable: {
      const auto* addresses = static_cast<const passthru::SByteArray*>(input);
      if (addresses == nullptr || (addresses->NumOfBytes > 0 && addresses->BytePtr == nullptr)) {
        return Refuse(passthru::kErrNullParameter, "the input SBYTE_ARRAY or its bytes are null");
      }
      return device_.LookupTable(handle, ioctl_id, trace::ByteArrayData(*addresses));
    }
    case passthru::kSwCanHs:
    case passthru::kSwCanNs:
      return device_.SingleWireSpeed(handle, ioctl_id == passthru::kSwCanHs);
    case kPtsimGetSerial: {
      const Status status = device_.CheckHandle(handle);
      const std::string serial = kPtsimSerial;
      if (!status.ok()) return status;
      return PutBytes(static_cast<passthru::SByteArray*>(output), {serial.begin(), serial.end()});
    }
    case kPtsimQueued:
      if (output == nullptr) return Refuse(passthru::kErrNullParameter, "the output is null");
      return device_.Queued(handle, *static_cast<uint32_t*>(output));
    case kPtsimInject: {
      if (input == nullptr) return Refuse(passthru::kErrNullParameter, "the input message is null");
      const RecordView view = ReadRecord(form_, input);
      if (Status check = CheckRecord(view, "the message"); !check.ok()) return check;
      return device_.Inject(handle, ToFrame(view));
    }
    case kPtsimConfigList: {
      // The list given as input is filled in place; otherwise the output list.
      auto* list = static_cast<passthru::SConfigList*>(input != nullptr ? input : output);
      if (list == nullptr || (list->NumOfParams > 0 && list->ConfigPtr == nullptr)) {
        return Refuse(passthru::kErrNullParameter, "no SCONFIG_LIST was given");
      }
      for (uint32_t i = 0; i < std::min(list->NumOfParams, trace::kConfigListLimit); ++i) {
        passthru::SConfig& item = list->ConfigPtr[i];
        if (Status got = device_.GetConfig(handle, item.Parameter, item.Value); !got.ok()) {
          return got;
        }
      }
      return {};
    }
    default: {  // kPtsimLastSent
      if (output == nullptr)
        return Refuse(passthru::kErrNullParameter, "the output message is null");
      Frame frame;
      if (Status got = device_.LastSent(handle, frame); !got.ok()) return got;
      if (!WriteRecord(form_, output, frame, call.settings().misbehave.data_size_overflow)) {
        return Refuse(passthru::kErrNullParameter, "the output message has no DataBuffer");
      }
      return {};
    }
  }
}

}  // namespace tarnix::sim
