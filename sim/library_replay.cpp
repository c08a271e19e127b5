// Replayed calls whose recorded outputs are more than numbers: version texts, the last error,
// GET_CONFIG values, FIVE_BAUD_INIT keyword bytes, the FAST_INIT response and the outputs of the
// ioctls ptsim knows the shape of.
#include <algorithm>
#include <cstring>

#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "sim/library.h"

namespace tarnix::sim {
namespace {

/// A recorded text as the caller's buffer receives it: cut to fit with a terminating zero, or all
/// 80 bytes without one when the recording shows that many.
void PutText(const std::string& text, char* buffer) {
  if (buffer == nullptr) return;
  const size_t n = std::min(text.size(), passthru::kTextSize);
  std::memcpy(buffer, text.data(), n);
  if (n < passthru::kTextSize) buffer[n] = '\0';
}

/// The recorded value of `key` when it has type T; null otherwise.
template <typename T>
const T* Recorded(const trace::Call& call, std::string_view key) {
  const trace::Value* value = call.Find(key);
  return value == nullptr ? nullptr : std::get_if<T>(value);
}

}  // namespace

int32_t Library::ReplayVersion(Call& call, std::array<char*, 3> buffers) {
  const trace::Call* recorded = call.Match();
  if (recorded == nullptr) return call.ReturnDiverged();
  const std::string_view keys[] = {"firmware", "dll", "api"};
  for (size_t i = 0; i < 3; ++i) {
    const auto* text = Recorded<std::string>(*recorded, keys[i]);
    if (text == nullptr) continue;
    PutText(*text, buffers[i]);
    call.out().Str(keys[i], *text);
  }
  return call.ReturnRecorded(*recorded);
}

int32_t Library::ReplayLastError(Call& call, char* text) {
  const Replay::LastError recorded = call.replay()->CurrentLastError();
  PutText(recorded.text, text);
  call.out().Str("text", recorded.text);
  return call.Return(Refuse(recorded.status, "as recorded"));
}

int32_t Library::ReplayConfig(Call& call, uint32_t ioctl_id, passthru::SConfigList* list,
                              const std::function<void()>& describe) {
  const trace::Call* recorded = call.Match();
  const auto* values =
      recorded == nullptr ? nullptr : Recorded<std::vector<trace::ConfigItem>>(*recorded, "input");
  if (values != nullptr && ioctl_id == passthru::kGetConfig && list != nullptr &&
      list->ConfigPtr != nullptr) {
    // Each parameter asked for gets the value recorded for it.
    const uint32_t n = std::min(list->NumOfParams, trace::kConfigListLimit);
    for (uint32_t i = 0; i < n; ++i) {
      passthru::SConfig& item = list->ConfigPtr[i];
      const auto found = std::find_if(values->begin(), values->end(), [&](const auto& value) {
        return value.parameter == item.Parameter;
      });
      if (found != values->end()) item.Value = found->value;
    }
  }
  describe();
  return recorded == nullptr ? call.ReturnDiverged() : call.ReturnRecorded(*recorded);
}

int32_t Library::ReplayFiveBaud(Call& call, passthru::SByteArray* output) {
  const trace::Call* recorded = call.Match();
  if (recorded == nullptr) return call.ReturnDiverged();
  const auto* keywords = Recorded<trace::ByteArray>(*recorded, "output");
  if (keywords != nullptr && output != nullptr && output->BytePtr != nullptr) {
    std::vector<uint8_t> bytes = keywords->data.value_or(std::vector<uint8_t>{});
    bytes.resize(std::min<size_t>(bytes.size(), output->NumOfBytes));
    std::copy(bytes.begin(), bytes.end(), output->BytePtr);
    output->NumOfBytes = keywords->num_of_bytes;
    call.out().Add("output", trace::ByteArray{output->NumOfBytes, std::move(bytes)});
  }
  return call.ReturnRecorded(*recorded);
}

int32_t Library::ReplayFastInit(Call& call, void* output) {
  const trace::Call* recorded = call.Match();
  if (recorded == nullptr) return call.ReturnDiverged();
  const auto* response = Recorded<trace::Record>(*recorded, "output");
  if (response != nullptr && output != nullptr &&
      WriteRecord(form_, output, ToFrame(*response), false)) {
    call.out().Add("output", ReadRecord(form_, output));
  }
  return call.ReturnRecorded(*recorded);
}

int32_t Library::ReplayShaped(Call& call, const trace::IoctlShape* shape, void* output) {
  const trace::Call* recorded = call.Match();
  if (recorded == nullptr) return call.ReturnDiverged();
  const trace::Value* value = recorded->Find("output");
  bool written = false;
  if (value != nullptr && output != nullptr) {
    if (const auto* number = std::get_if<uint64_t>(value)) {
      *static_cast<uint32_t*>(output) = static_cast<uint32_t>(*number);
      written = true;
    } else if (const auto* bytes = std::get_if<trace::ByteArray>(value)) {
      auto& array = *static_cast<passthru::SByteArray*>(output);
      std::vector<uint8_t> data = bytes->data.value_or(std::vector<uint8_t>{});
      data.resize(std::min<size_t>(data.size(), array.NumOfBytes));
      if (array.BytePtr != nullptr) std::copy(data.begin(), data.end(), array.BytePtr);
      array.NumOfBytes = static_cast<uint32_t>(data.size());
      written = true;
    } else if (const auto* items = std::get_if<std::vector<trace::ConfigItem>>(value)) {
      auto& list = *static_cast<passthru::SConfigList*>(output);
      for (uint32_t i = 0; i < list.NumOfParams && i < items->size() && list.ConfigPtr; ++i) {
        list.ConfigPtr[i].Value = (*items)[i].value;
      }
      written = true;
    } else if (const auto* record = std::get_if<trace::Record>(value)) {
      written = WriteRecord(form_, output, ToFrame(*record), false);
    }
  }
  if (shape != nullptr) trace::AddIoctlOutput(call.out(), form_, *shape, output, written);
  return call.ReturnRecorded(*recorded);
}

}  // namespace tarnix::sim
