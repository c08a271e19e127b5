// Reading and writing the callers' 04.04 and 05.00 message records.
#include "sim/records.h"

#include <algorithm>
#include <cstring>

#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::sim {
namespace {

/// A stated length far enough past the data area to be unmistakable.
constexpr uint32_t kOverstatement = 100;

}  // namespace

bool IsSound(const RecordView& view) {
  return !(view.null_buffer && view.data_size > 0) && view.data.size() == view.data_size;
}

Status CheckRecord(const RecordView& view, const char* what) {
  if (IsSound(view)) return {};
  const std::string name(what);
  if (view.null_buffer && view.data_size > 0) {
    return NullParameter(name + " has data but no DataBuffer");
  }
  if (view.data.size() != view.data_size) {
    return Refuse(passthru::kErrInvalidMsg, name + " states " + std::to_string(view.data_size) +
                                                " data bytes, more than its data area holds");
  }
  return {};
}

Frame ToFrame(const RecordView& view) {
  Frame frame;
  frame.protocol = view.protocol;
  frame.rx_status = view.rx_status;
  frame.tx_flags = view.tx_flags;
  frame.timestamp = view.timestamp;
  frame.data = view.data;
  return frame;
}

bool WriteRecord(Form form, void* record, const Frame& frame, bool overstate) {
  if (form == Form::k0404) {
    auto* msg = static_cast<passthru::PassThruMsg0404*>(record);
    const auto n =
        static_cast<uint32_t>(std::min<size_t>(frame.data.size(), passthru::kMaxDataSize));
    msg->ProtocolID = frame.protocol;
    msg->RxStatus = frame.rx_status;
    msg->TxFlags = frame.tx_flags;
    msg->Timestamp = frame.timestamp;
    msg->DataSize = overstate ? passthru::kMaxDataSize + kOverstatement : n;
    msg->ExtraDataIndex = n;
    if (n > 0) std::memcpy(msg->Data, frame.data.data(), n);
    return true;
  }
  auto* msg = static_cast<passthru::PassThruMsg0500*>(record);
  uint8_t* buffer = msg->DataBuffer;
  if (buffer == nullptr) return false;
  const uint32_t room = msg->DataBufferSize;
  const auto n = static_cast<uint32_t>(std::min<size_t>(frame.data.size(), room));
  msg->ProtocolID = frame.protocol;
  msg->MsgHandle = 0;
  msg->RxStatus = frame.rx_status;
  msg->TxFlags = frame.tx_flags;
  msg->Timestamp = frame.timestamp;
  msg->DataLength = overstate ? room + kOverstatement : n;
  msg->ExtraDataIndex = n;
  if (n > 0) std::memcpy(buffer, frame.data.data(), n);
  return true;
}

}  // namespace tarnix::sim
