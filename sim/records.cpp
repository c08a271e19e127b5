// Reading and writing the callers' 04.04 and 05.00 message records.
#include "sim/records.h"

#include <algorithm>
#include <cstring>

#include "sim/call_log.h"
#include "sim/names.h"

namespace tarnix::sim {
namespace {

/// A stated length far enough past the data area to be unmistakable.
constexpr uint32_t kOverstatement = 100;

}  // namespace

size_t RecordSize(Form form) {
  return form == Form::k0404 ? sizeof(PassThruMsg0404) : sizeof(PassThruMsg0500);
}

const void* RecordAt(Form form, const void* base, size_t index) {
  return static_cast<const uint8_t*>(base) + index * RecordSize(form);
}

void* RecordAt(Form form, void* base, size_t index) {
  return static_cast<uint8_t*>(base) + index * RecordSize(form);
}

RecordView ReadRecord(Form form, const void* record) {
  RecordView view;
  if (form == Form::k0404) {
    const auto* msg = static_cast<const PassThruMsg0404*>(record);
    view.protocol = msg->ProtocolID;
    view.rx_status = msg->RxStatus;
    view.tx_flags = msg->TxFlags;
    view.timestamp = msg->Timestamp;
    view.data_size = msg->DataSize;
    view.extra_data_index = msg->ExtraDataIndex;
    const size_t n = std::min<size_t>(msg->DataSize, kMaxDataSize);
    view.data.assign(msg->Data, msg->Data + n);
    return view;
  }
  const auto* msg = static_cast<const PassThruMsg0500*>(record);
  view.protocol = msg->ProtocolID;
  view.rx_status = msg->RxStatus;
  view.tx_flags = msg->TxFlags;
  view.timestamp = msg->Timestamp;
  view.data_size = msg->DataLength;
  view.extra_data_index = msg->ExtraDataIndex;
  view.buffer_size = msg->DataBufferSize;
  const uint8_t* buffer = msg->DataBuffer;
  view.null_buffer = buffer == nullptr;
  if (buffer != nullptr) {
    const size_t n = std::min<size_t>(msg->DataLength, msg->DataBufferSize);
    view.data.assign(buffer, buffer + n);
  }
  return view;
}

Status CheckRecord(const RecordView& view, const char* what) {
  const std::string name(what);
  if (view.null_buffer && view.data_size > 0) {
    return Refuse(kErrNullParameter, name + " has data but no DataBuffer");
  }
  if (view.data.size() != view.data_size) {
    return Refuse(kErrInvalidMsg, name + " states " + std::to_string(view.data_size) +
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
    auto* msg = static_cast<PassThruMsg0404*>(record);
    const auto n = static_cast<uint32_t>(std::min<size_t>(frame.data.size(), kMaxDataSize));
    msg->ProtocolID = frame.protocol;
    msg->RxStatus = frame.rx_status;
    msg->TxFlags = frame.tx_flags;
    msg->Timestamp = frame.timestamp;
    msg->DataSize = overstate ? kMaxDataSize + kOverstatement : n;
    msg->ExtraDataIndex = n;
    if (n > 0) std::memcpy(msg->Data, frame.data.data(), n);
    return true;
  }
  auto* msg = static_cast<PassThruMsg0500*>(record);
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

std::string RecordJson(const RecordView& view) {
  JsonObject json;
  json.Num("protocol", view.protocol)
      .Num("txFlags", view.tx_flags)
      .Num("rxStatus", view.rx_status)
      .Num("timestamp", view.timestamp)
      .Num("dataSize", view.data_size)
      .Num("extraDataIndex", view.extra_data_index);
  if (view.buffer_size) json.Num("dataBufferSize", *view.buffer_size);
  if (view.null_buffer) {
    json.Null("data");
  } else {
    json.Str("data", Hex(view.data));
  }
  return json.Text();
}

}  // namespace tarnix::sim
