// PassThru message records in both forms: packing outgoing frames, converting received records.
#include "j2534/records.h"

#include <algorithm>
#include <cstring>

#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

uint32_t ReadBigEndian(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

}  // namespace

size_t MaxPayload(uint32_t protocol_id) {
  if (passthru::FramingOf(protocol_id) == passthru::kCan) return 8;
  if (passthru::FramingOf(protocol_id) == passthru::kIso15765)
    return passthru::kMaxDataSize - passthru::kCanIdBytes;
  return passthru::kMaxDataSize;
}

PassThruError TooLongError(const std::string& where, size_t size, size_t max,
                           uint32_t protocol_id) {
  std::string text = "ERR_J2534_MSG_TOO_LONG: ";
  if (!where.empty()) text += where + ": ";
  text += std::to_string(size) + " data bytes, at most " + std::to_string(max) +
          " fit a message of protocol " + std::to_string(protocol_id);
  return RefusedError(std::move(text));
}

FrameHead HeadOf(uint32_t protocol_id, uint32_t arb_id, bool extended) {
  FrameHead head;
  if (passthru::IsCanLike(protocol_id)) {
    head.prefix = {static_cast<uint8_t>(arb_id >> 24), static_cast<uint8_t>(arb_id >> 16),
                   static_cast<uint8_t>(arb_id >> 8), static_cast<uint8_t>(arb_id)};
    head.prefix_size = passthru::kCanIdBytes;
    head.tx_flags = extended ? passthru::kCan29BitId : 0;
  }
  return head;
}

Result<OutgoingFrame, PassThruError> PackFrame(uint32_t protocol_id, uint32_t arb_id,
                                               const wire::Bytes& payload, bool extended,
                                               size_t max_payload, const std::string& where) {
  if (payload.size() > max_payload) {
    return TooLongError(where, payload.size(), max_payload, protocol_id);
  }
  const FrameHead head = HeadOf(protocol_id, arb_id, extended);
  OutgoingFrame frame{wire::Bytes(head.bytes().begin(), head.bytes().end()), head.tx_flags};
  frame.bytes.insert(frame.bytes.end(), payload.begin(), payload.end());
  return frame;
}

RecordView View(const passthru::PassThruMsg0404& record) {
  return {record.ProtocolID,
          record.RxStatus,
          record.Timestamp,
          static_cast<uint32_t>(std::min<size_t>(record.DataSize, passthru::kMaxDataSize)),
          record.Data,
          record.TxFlags,
          record.ExtraDataIndex};
}

RecordView View(const passthru::PassThruMsg0500& record, const uint8_t* area, size_t area_size) {
  size_t limit = std::min<size_t>(record.DataBufferSize, area_size);
  RecordView view{record.ProtocolID,
                  record.RxStatus,
                  record.Timestamp,
                  static_cast<uint32_t>(std::min<size_t>(record.DataLength, limit)),
                  area,
                  record.TxFlags,
                  record.ExtraDataIndex};
  if (record.DataBuffer == nullptr || area == nullptr) view.data = nullptr;
  return view;
}

namespace {

// The record as a frame whose payload starts `skip` bytes into the data (skip <= length).
void FillMessage(const RecordView& record, size_t skip, wire::ReceivedMessage& message) {
  message.timestamp_us = record.timestamp;
  if (record.data != nullptr) message.data.assign(record.data + skip, record.data + record.length);
  message.rx_status = record.rx_status;
  message.data_size = record.length;
  message.protocol_id = record.protocol_id;
}

}  // namespace

std::optional<wire::ReceivedMessage> ToMessage(const RecordView& record, bool can_like) {
  if (record.data == nullptr) return std::nullopt;
  if (can_like && record.length < passthru::kCanIdBytes) return std::nullopt;
  if (!can_like && record.length == 0) return std::nullopt;
  // Built in place in the result: the frame is moved only by its consumer.
  std::optional<wire::ReceivedMessage> message(std::in_place);
  if (!can_like) {
    FillMessage(record, 0, *message);
    return message;
  }
  FillMessage(record, passthru::kCanIdBytes, *message);
  message->arb_id = ReadBigEndian(record.data);
  message->raw_arb_id = message->arb_id;
  message->extended = message->arb_id > 0x7FF || (record.rx_status & passthru::kCan29BitId) != 0;
  return message;
}

wire::ReceivedMessage RawMessage(const RecordView& record) {
  wire::ReceivedMessage message;
  FillMessage(record, 0, message);
  return message;
}

MessageArray::MessageArray(bool api_0500, uint32_t protocol_id, size_t count)
    : api_0500_(api_0500), protocol_id_(protocol_id), count_(count) {
  if (api_0500_) {
    records_0500_.resize(count);
    offset_.resize(count);
    area_.resize(count);
  } else {
    records_0404_.resize(count);
  }
}

MessageArray MessageArray::ForReceive(bool api_0500, uint32_t protocol_id, size_t count) {
  MessageArray array(api_0500, protocol_id, count);
  if (api_0500) {
    array.buffers_.assign(count * passthru::kMaxDataSize, 0);
    for (size_t i = 0; i < count; ++i) {
      array.Bind0500(i, passthru::kMaxDataSize, i * passthru::kMaxDataSize);
      array.PrepareReceive0500(i);
    }
  }
  return array;
}

MessageArray MessageArray::ForSend(bool api_0500, uint32_t protocol_id,
                                   const std::vector<OutgoingFrame>& frames) {
  MessageArray array = ForPacking(api_0500, protocol_id, frames.size());
  size_t total = 0;
  for (const OutgoingFrame& frame : frames)
    total += frame.bytes.size();
  array.BeginPacking(total);
  for (size_t i = 0; i < frames.size(); ++i)
    array.Pack(i, frames[i].tx_flags, {}, frames[i].bytes);
  return array;
}

MessageArray MessageArray::ForPacking(bool api_0500, uint32_t protocol_id, size_t count) {
  MessageArray array(api_0500, protocol_id, count);
  array.area_.resize(count);
  return array;
}

void MessageArray::Bind0500(size_t index, size_t size, size_t offset) {
  offset_[index] = offset;
  area_[index] = size;
}

void* MessageArray::records() {
  return api_0500_ ? static_cast<void*>(records_0500_.data())
                   : static_cast<void*>(records_0404_.data());
}

void MessageArray::PrepareReceive0500(size_t index) {
  passthru::PassThruMsg0500& record = records_0500_[index];
  std::memset(&record, 0, sizeof(record));
  record.ProtocolID = protocol_id_;
  record.DataBuffer = buffers_.data() + offset_[index];
  record.DataBufferSize = static_cast<uint32_t>(area_[index]);
}

void MessageArray::RestoreReceive(size_t used) {
  used = std::min(used, count_);
  for (size_t i = 0; i < used; ++i) {
    // The read wrote the data bytes the record states, within its area.
    if (!api_0500_) {
      passthru::PassThruMsg0404& record = records_0404_[i];
      std::memset(record.Data, 0, std::min<size_t>(record.DataSize, passthru::kMaxDataSize));
      std::memset(&record, 0, offsetof(passthru::PassThruMsg0404, Data));
      continue;
    }
    const size_t stated = std::min<size_t>(records_0500_[i].DataLength, area_[i]);
    std::memset(buffers_.data() + offset_[i], 0, stated);
    PrepareReceive0500(i);
  }
}

void MessageArray::BeginPacking(size_t bytes) {
  packed_bytes_ = 0;
  // Never a null buffer, even for frames without bytes.
  if (api_0500_ && buffers_.size() < std::max<size_t>(bytes, 1)) {
    buffers_.resize(std::max<size_t>(bytes, 1));
  }
}

void MessageArray::Pack(size_t index, uint32_t tx_flags, std::span<const uint8_t> head,
                        std::span<const uint8_t> payload) {
  size_t size = head.size() + payload.size();
  uint8_t* data = nullptr;
  if (api_0500_) {
    offset_[index] = packed_bytes_;
    packed_bytes_ += size;
    data = buffers_.data() + offset_[index];
    passthru::PassThruMsg0500& record = records_0500_[index];
    record.ProtocolID = protocol_id_;
    record.TxFlags = tx_flags;
    record.DataLength = static_cast<uint32_t>(size);
    record.ExtraDataIndex = static_cast<uint32_t>(size);
    record.DataBufferSize = static_cast<uint32_t>(size);
    record.DataBuffer = data;
  } else {
    size = std::min(size, passthru::kMaxDataSize);
    passthru::PassThruMsg0404& record = records_0404_[index];
    record.ProtocolID = protocol_id_;
    record.TxFlags = tx_flags;
    record.DataSize = static_cast<uint32_t>(size);
    data = record.Data;
  }
  area_[index] = size;
  const size_t head_size = std::min(head.size(), size);
  if (head_size != 0) std::memcpy(data, head.data(), head_size);
  if (size > head_size) std::memcpy(data + head_size, payload.data(), size - head_size);
}

void MessageArray::ClearPacked(size_t used) {
  used = std::min(used, count_);
  for (size_t i = 0; i < used; ++i) {
    if (api_0500_) {
      // The buffers hold exactly the frames' bytes and are overwritten by the next packing.
      std::memset(&records_0500_[i], 0, sizeof(passthru::PassThruMsg0500));
      continue;
    }
    passthru::PassThruMsg0404& record = records_0404_[i];
    std::memset(record.Data, 0, area_[i]);
    std::memset(&record, 0, offsetof(passthru::PassThruMsg0404, Data));
  }
}

void MessageArray::SetHeader(size_t index, uint32_t protocol_id, uint32_t rx_status,
                             uint32_t timestamp, uint32_t extra_data_index) {
  if (api_0500_) {
    passthru::PassThruMsg0500& record = records_0500_[index];
    record.ProtocolID = protocol_id;
    record.RxStatus = rx_status;
    record.Timestamp = timestamp;
    record.ExtraDataIndex = extra_data_index;
    return;
  }
  passthru::PassThruMsg0404& record = records_0404_[index];
  record.ProtocolID = protocol_id;
  record.RxStatus = rx_status;
  record.Timestamp = timestamp;
  record.ExtraDataIndex = extra_data_index;
}

uint32_t MessageArray::RxStatus(size_t index) const {
  return api_0500_ ? records_0500_[index].RxStatus : records_0404_[index].RxStatus;
}

RecordView MessageArray::View(size_t index) const {
  if (!api_0500_) return j2534::View(records_0404_[index]);
  return j2534::View(records_0500_[index], buffers_.data() + offset_[index], area_[index]);
}

}  // namespace tarnix::j2534
