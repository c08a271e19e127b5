// ptsim's PassThruIoctl: each ioctl's records decoded for the device and for the call log.
#include <algorithm>
#include <cstring>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "sim/library.h"
#include "trace/arguments.h"
#include "trace/caller_memory.h"

namespace tarnix::sim {
namespace {

constexpr uint32_t kOverstatedKeywordCount = 40;

}  // namespace

int32_t Library::Ioctl(uint32_t handle, uint32_t ioctl_id, void* input, void* output) {
  const auto name = passthru::IoctlName(ioctl_id);
  Call call(*this, "PassThruIoctl", name.value_or(""));
  const std::optional<trace::IoctlShape> shape = ShapeOf(ioctl_id);
  call.args() = trace::IoctlArgs(form_, handle, ioctl_id, input, output, shape ? &*shape : nullptr);
  switch (ioctl_id) {
    case passthru::kGetConfig:
    case passthru::kSetConfig:
      return ConfigIoctl(call, handle, ioctl_id, static_cast<passthru::SConfigList*>(input),
                         output);
    case passthru::kReadVbatt:
    case passthru::kReadProgVoltage:
      return VoltageIoctl(call, handle, ioctl_id, static_cast<uint32_t*>(output));
    case passthru::kFiveBaudInit:
      return FiveBaudIoctl(call, handle, static_cast<const passthru::SByteArray*>(input),
                           static_cast<passthru::SByteArray*>(output));
    case passthru::kFastInit:
      return FastInitIoctl(call, handle, input, output);
    default:
      if (shape) return ShapedIoctl(call, *shape, handle, ioctl_id, input, output);
      return PlainIoctl(call, handle, ioctl_id, output);
  }
}

int32_t Library::ConfigIoctl(Call& call, uint32_t handle, uint32_t ioctl_id,
                             passthru::SConfigList* list, void* output) {
  const uint32_t n = list == nullptr ? 0 : std::min(list->NumOfParams, trace::kConfigListLimit);
  const auto describe = [&] { trace::AddConfigArgs(call.args(), list, output); };
  const auto finish = [&](const Status& status) {
    describe();
    return call.Return(status);
  };
  if (call.injected()) {
    describe();
    return call.ReturnInjected();
  }
  if (call.replay() != nullptr) return ReplayConfig(call, ioctl_id, list, describe);
  if (list == nullptr || (n > 0 && list->ConfigPtr == nullptr)) {
    return finish(NullParameter("the SCONFIG_LIST is null"));
  }
  for (uint32_t i = 0; i < n; ++i) {
    passthru::SConfig& item = list->ConfigPtr[i];
    const Status status = ioctl_id == passthru::kGetConfig
                              ? device_.GetConfig(handle, item.Parameter, item.Value)
                              : device_.SetConfig(handle, item.Parameter, item.Value);
    if (!status.ok()) return finish(status);
  }
  return finish({});
}

int32_t Library::VoltageIoctl(Call& call, uint32_t handle, uint32_t ioctl_id, uint32_t* output) {
  if (call.injected()) {
    call.out().Pointer("output", output);
    return call.ReturnInjected();
  }
  if (call.replay() != nullptr) return call.Replayed({{"output", output}});
  uint32_t millivolts = 0;
  const Status status =
      output == nullptr ? NullParameter("the output is null")
                        : device_.ReadVoltage(handle, ioctl_id, call.settings().strict, millivolts);
  if (status.ok()) {
    *output = millivolts;
    call.out().Num("output", millivolts);
  } else {
    call.out().Pointer("output", output);
  }
  return call.Return(status);
}

int32_t Library::FiveBaudIoctl(Call& call, uint32_t handle, const passthru::SByteArray* input,
                               passthru::SByteArray* output) {
  const auto fail = [&](const Status& status) {
    call.out().Pointer("output", output);
    return call.Return(status);
  };
  if (call.injected()) {
    call.out().Pointer("output", output);
    return call.ReturnInjected();
  }
  if (call.replay() != nullptr) return ReplayFiveBaud(call, output);
  if (input == nullptr || output == nullptr || output->BytePtr == nullptr ||
      (input->NumOfBytes > 0 && input->BytePtr == nullptr)) {
    return fail(NullParameter("an SBYTE_ARRAY or its bytes are null"));
  }
  std::vector<uint8_t> keywords;
  const Status status = device_.FiveBaudInit(handle, trace::ByteArrayData(*input), keywords);
  if (!status.ok()) return fail(status);
  const uint32_t written = std::min(static_cast<uint32_t>(keywords.size()), output->NumOfBytes);
  std::memcpy(output->BytePtr, keywords.data(), written);
  output->NumOfBytes = call.settings().misbehave.five_baud_40 ? kOverstatedKeywordCount : written;
  keywords.resize(written);
  call.out().Add("output", trace::ByteArray{output->NumOfBytes, std::move(keywords)});
  return call.Return(status);
}

int32_t Library::FastInitIoctl(Call& call, uint32_t handle, const void* input, void* output) {
  const auto fail = [&](const Status& status) {
    call.out().Pointer("output", output);
    return call.Return(status);
  };
  if (call.injected()) {
    call.out().Pointer("output", output);
    return call.ReturnInjected();
  }
  if (call.replay() != nullptr) return ReplayFastInit(call, output);
  if (input == nullptr || output == nullptr) {
    return fail(NullParameter("the input or output message is null"));
  }
  const RecordView request = ReadRecord(form_, input);
  if (Status check = CheckRecord(request, "the request"); !check.ok()) return fail(check);
  Frame response;
  const Status status = device_.FastInit(handle, ToFrame(request), response);
  if (!status.ok()) return fail(status);
  if (call.settings().misbehave.fast_init_empty) response.data.clear();
  if (!WriteRecord(form_, output, response, call.settings().misbehave.data_size_overflow)) {
    return fail(NullParameter("the output message has no DataBuffer"));
  }
  call.out().Add("output", ReadRecord(form_, output));
  return call.Return(status);
}

int32_t Library::PlainIoctl(Call& call, uint32_t handle, uint32_t ioctl_id, void* output) {
  if (call.injected()) return call.ReturnInjected();
  // A recording of the bridge shows what its typed ioctls wrote: the same goes to the caller.
  if (call.replay() != nullptr) return ReplayShaped(call, nullptr, output);
  switch (ioctl_id) {
    case passthru::kClearTxBuffer:
    case passthru::kClearRxBuffer:
    case passthru::kClearPeriodicMsgs:
    case passthru::kClearMsgFilters:
      return call.Return(device_.Clear(handle, ioctl_id));
    default:
      return call.Return(Refuse(passthru::kErrInvalidIoctlId,
                                "ioctl " + std::to_string(ioctl_id) + " does not exist"));
  }
}

}  // namespace tarnix::sim
