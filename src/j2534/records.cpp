// PassThru message records in both forms: packing outgoing frames, converting received records.
#include "j2534/records.h"

#include <algorithm>
#include <cstring>

namespace tarnix::j2534 {
namespace {

// An identifier is sent as 4 bytes, most significant first.
constexpr size_t kIdBytes = 4;

uint32_t ReadBigEndian(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

}  // namespace

size_t MaxPayload(uint32_t protocol_id) {
  if (protocol_id == kCan) return 8;
  if (protocol_id == kIso15765) return kMaxDataSize - kIdBytes;
  return kMaxDataSize;
}

PassThruError TooLongError(const std::string& where, size_t size, size_t max,
                           uint32_t protocol_id) {
  std::string text = "ERR_J2534_MSG_TOO_LONG: ";
  if (!where.empty()) text += where + ": ";
  text += std::to_string(size) + " data bytes, at most " + std::to_string(max) +
          " fit a message of protocol " + std::to_string(protocol_id);
  return RefusedError(std::move(text));
}

Result<OutgoingFrame, PassThruError> PackFrame(uint32_t protocol_id, uint32_t arb_id,
                                               const Bytes& payload, bool extended,
                                               size_t max_payload, const std::string& where) {
  if (payload.size() > max_payload) {
    return TooLongError(where, payload.size(), max_payload, protocol_id);
  }
  OutgoingFrame frame;
  if (IsCanLike(protocol_id)) {
    frame.bytes = {static_cast<uint8_t>(arb_id >> 24), static_cast<uint8_t>(arb_id >> 16),
                   static_cast<uint8_t>(arb_id >> 8), static_cast<uint8_t>(arb_id)};
    frame.tx_flags = extended ? kCan29BitId : 0;
  }
  frame.bytes.insert(frame.bytes.end(), payload.begin(), payload.end());
  return frame;
}

RecordView View(const PassThruMsg0404& record) {
  return {record.ProtocolID, record.RxStatus, record.Timestamp,
          static_cast<uint32_t>(std::min<size_t>(record.DataSize, kMaxDataSize)), record.Data};
}

RecordView View(const PassThruMsg0500& record, const uint8_t* area, size_t area_size) {
  size_t limit = std::min<size_t>(record.DataBufferSize, area_size);
  RecordView view{record.ProtocolID, record.RxStatus, record.Timestamp,
                  static_cast<uint32_t>(std::min<size_t>(record.DataLength, limit)), area};
  if (record.DataBuffer == nullptr || area == nullptr) view.data = nullptr;
  return view;
}

std::optional<protocol::ReceivedMessage> ToMessage(const RecordView& record, bool can_like) {
  if (record.data == nullptr) return std::nullopt;
  if (can_like) {
    if (record.length < kIdBytes) return std::nullopt;
    protocol::ReceivedMessage message = RawMessage(record);
    message.arb_id = ReadBigEndian(record.data);
    message.raw_arb_id = message.arb_id;
    message.data.erase(message.data.begin(), message.data.begin() + kIdBytes);
    message.extended = message.arb_id > 0x7FF || (record.rx_status & kCan29BitId) != 0;
    return message;
  }
  if (record.length == 0) return std::nullopt;
  return RawMessage(record);
}

protocol::ReceivedMessage RawMessage(const RecordView& record) {
  protocol::ReceivedMessage message;
  message.timestamp_us = record.timestamp;
  if (record.data != nullptr) message.data.assign(record.data, record.data + record.length);
  message.rx_status = record.rx_status;
  message.data_size = record.length;
  message.protocol_id = record.protocol_id;
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
    array.buffers_.assign(count * kMaxDataSize, 0);
    for (size_t i = 0; i < count; ++i)
      array.Bind0500(i, kMaxDataSize, i * kMaxDataSize);
    array.PrepareReceive();
  }
  return array;
}

MessageArray MessageArray::ForSend(bool api_0500, uint32_t protocol_id,
                                   const std::vector<OutgoingFrame>& frames) {
  MessageArray array(api_0500, protocol_id, frames.size());
  if (api_0500) {
    size_t total = 0;
    for (const OutgoingFrame& frame : frames)
      total += frame.bytes.size();
    // Never a null buffer, even for frames without bytes.
    array.buffers_.reserve(std::max<size_t>(total, 1));
    for (size_t i = 0; i < frames.size(); ++i) {
      array.Bind0500(i, frames[i].bytes.size(), array.buffers_.size());
      array.buffers_.insert(array.buffers_.end(), frames[i].bytes.begin(), frames[i].bytes.end());
    }
  }
  for (size_t i = 0; i < frames.size(); ++i) {
    const OutgoingFrame& frame = frames[i];
    auto size = static_cast<uint32_t>(frame.bytes.size());
    if (api_0500) {
      PassThruMsg0500& record = array.records_0500_[i];
      record.ProtocolID = protocol_id;
      record.TxFlags = frame.tx_flags;
      record.DataLength = size;
      record.ExtraDataIndex = size;
      record.DataBufferSize = size;
      record.DataBuffer = array.buffers_.data() + array.offset_[i];
    } else {
      PassThruMsg0404& record = array.records_0404_[i];
      record.ProtocolID = protocol_id;
      record.TxFlags = frame.tx_flags;
      record.DataSize = static_cast<uint32_t>(std::min<size_t>(size, kMaxDataSize));
      if (record.DataSize != 0) std::memcpy(record.Data, frame.bytes.data(), record.DataSize);
    }
  }
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

void MessageArray::PrepareReceive() {
  if (!api_0500_) {
    for (PassThruMsg0404& record : records_0404_) {
      std::memset(&record, 0, offsetof(PassThruMsg0404, Data));
    }
    return;
  }
  for (size_t i = 0; i < count_; ++i) {
    PassThruMsg0500& record = records_0500_[i];
    std::memset(&record, 0, sizeof(record));
    record.ProtocolID = protocol_id_;
    record.DataBuffer = buffers_.data() + offset_[i];
    record.DataBufferSize = static_cast<uint32_t>(area_[i]);
  }
}

uint32_t MessageArray::RxStatus(size_t index) const {
  return api_0500_ ? records_0500_[index].RxStatus : records_0404_[index].RxStatus;
}

RecordView MessageArray::View(size_t index) const {
  if (!api_0500_) return j2534::View(records_0404_[index]);
  return j2534::View(records_0500_[index], buffers_.data() + offset_[index], area_[index]);
}

}  // namespace tarnix::j2534
