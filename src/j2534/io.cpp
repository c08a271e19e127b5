// Frames through a connection: writing, draining with echo suppression, and the direct reads.
#include "j2534/io.h"

#include <algorithm>
#include <bit>

#include "j2534/passthru_abi.h"

namespace tarnix::j2534 {
namespace {

constexpr uint32_t kSendOneTimeoutMs = 1000;
constexpr uint32_t kMaxDrainFrames = 256;
constexpr uint32_t kMaxDrainCalls = 256;
constexpr uint32_t kReadWithEchoFrames = 16;
constexpr uint32_t kMaxRawReadFrames = 64;

uint32_t Clamp(uint32_t value, uint32_t high) {
  return std::clamp<uint32_t>(value, 1, high);
}

bool IsNormalReadStatus(uint32_t status) {
  return status == kStatusNoError || status == kErrTimeout || status == kErrBufferEmpty;
}

// Calls the connection's write entry point: PassThruWriteMsgs in 04.04; in 05.00
// PassThruQueueMsgs (which takes no timeout) or else PassThruWriteMsgs.
Result<uint32_t, PassThruError> CallWrite(const Connection& connection, MessageArray& records,
                                          uint32_t& count, uint32_t timeout_ms) {
  const PassThruLibrary& library = connection.library();
  uint32_t channel_id = connection.channel_id();
  if (connection.api_0500()) {
    if (Result<void*> queue = library.Find("PassThruQueueMsgs")) {
      auto fn = std::bit_cast<PassThruQueueMsgsFn>(queue.value());
      return static_cast<uint32_t>(fn(channel_id, records.records(), &count));
    }
    Result<void*> write = library.Find("PassThruWriteMsgs");
    if (!write) {
      return FunctionNotFoundError("PassThruQueueMsgs/PassThruWriteMsgs", write.error().text);
    }
    auto fn = std::bit_cast<PassThruReadWriteFn>(write.value());
    return static_cast<uint32_t>(fn(channel_id, records.records(), &count, timeout_ms));
  }
  auto write = library.Resolve<PassThruReadWriteFn>("PassThruWriteMsgs");
  if (!write) return std::move(write).error();
  return static_cast<uint32_t>((*write)(channel_id, records.records(), &count, timeout_ms));
}

// Packs every element, refusing the whole batch when one does not fit.
Result<MessageArray, PassThruError> PackBatch(const Connection& connection,
                                              const std::vector<protocol::BatchMessage>& messages) {
  uint32_t protocol_id = connection.protocol_id();
  std::vector<OutgoingFrame> frames;
  frames.reserve(messages.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    const protocol::BatchMessage& message = messages[i];
    auto frame = PackFrame(protocol_id, message.arb_id, message.data, message.extended,
                           MaxPayload(protocol_id), "messages[" + std::to_string(i) + "]");
    if (!frame) return std::move(frame).error();
    frames.push_back(std::move(frame).value());
  }
  return MessageArray::ForSend(connection.api_0500(), protocol_id, frames);
}

// The outcome of a batch write: the library's status and the count it reported sent.
Result<protocol::RawResult, PassThruError> WriteBatch(
    Connection& connection, const std::vector<protocol::BatchMessage>& messages,
    uint32_t timeout_ms) {
  auto records = PackBatch(connection, messages);
  if (!records) return std::move(records).error();
  auto count = static_cast<uint32_t>(messages.size());
  auto status = CallWrite(connection, *records, count, timeout_ms);
  if (!status) return std::move(status).error();
  return protocol::RawResult{static_cast<int32_t>(*status), count};
}

// Reads `channel_id` into `out` as Drain describes. Answers the status of the first read when
// it was abnormal (nothing was gathered then), otherwise STATUS_NOERROR.
uint32_t DrainChannel(Connection& connection, PassThruReadWriteFn read, MessageArray& records,
                      uint32_t channel_id, uint32_t first_timeout_ms, uint32_t max_calls,
                      bool can_like, bool mark_extended, Messages& out) {
  auto frames = static_cast<uint32_t>(records.size());
  for (uint32_t call = 0; call < max_calls; ++call) {
    records.PrepareReceive();
    uint32_t count = frames;
    auto status = static_cast<uint32_t>(
        read(channel_id, records.records(), &count, call == 0 ? first_timeout_ms : 0));
    if (!IsNormalReadStatus(status)) return call == 0 ? status : kStatusNoError;
    // A library that reports more records than it was given room for: read only those.
    uint32_t filled = std::min(count, frames);
    for (uint32_t i = 0; i < filled; ++i) {
      if ((records.RxStatus(i) & kTxMsgType) != 0) continue;
      auto message = ToMessage(records.View(i), can_like);
      if (!message) continue;
      if (can_like && connection.echo_list().Cancel(message->arb_id, message->data)) continue;
      if (mark_extended) message->extended = true;
      out.push_back(std::move(*message));
    }
    if (count < frames) break;
  }
  return kStatusNoError;
}

// One read of `frames` records on the main channel; the status (or a missing entry point).
Result<uint32_t, PassThruError> ReadOnce(const Connection& connection, MessageArray& records,
                                         uint32_t& count, uint32_t timeout_ms) {
  auto read = connection.library().Resolve<PassThruReadWriteFn>("PassThruReadMsgs");
  if (!read) return std::move(read).error();
  count = static_cast<uint32_t>(records.size());
  return static_cast<uint32_t>(
      (*read)(connection.channel_id(), records.records(), &count, timeout_ms));
}

PassThruError ReadFailed(uint32_t status) {
  return StatusError("ERR_J2534_READ_FAILED:", status);
}

}  // namespace

uint32_t BatchTimeoutMs(size_t count) {
  constexpr size_t kPerFrameMs = 10;
  constexpr size_t kMinimumMs = 5000;
  constexpr size_t kCap = UINT32_MAX / kPerFrameMs;
  return static_cast<uint32_t>(std::max(std::min(count, kCap) * kPerFrameMs, kMinimumMs));
}

Result<void, PassThruError> SendOne(Connection& connection, uint32_t arb_id, const Bytes& data,
                                    bool extended) {
  uint32_t protocol_id = connection.protocol_id();
  auto frame = PackFrame(protocol_id, arb_id, data, extended, MaxPayload(protocol_id));
  if (!frame) return std::move(frame).error();
  MessageArray records = MessageArray::ForSend(connection.api_0500(), protocol_id, {*frame});
  uint32_t count = 1;
  auto status = CallWrite(connection, records, count, kSendOneTimeoutMs);
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) {
    return PassThruError{PassThruError::Kind::CallFailed,
                         "ERR_J2534_WRITE_FAILED: error code " + std::to_string(*status) + " [" +
                             StatusName(*status) + "]",
                         *status};
  }
  connection.echo_list().Add(arb_id, data);
  return {};
}

Result<uint32_t, PassThruError> SendBatch(Connection& connection,
                                          const std::vector<protocol::BatchMessage>& messages) {
  if (messages.empty()) return 0u;
  auto result = WriteBatch(connection, messages, BatchTimeoutMs(messages.size()));
  if (!result) return std::move(result).error();
  auto status = static_cast<uint32_t>(result->result);
  if (status != kStatusNoError) {
    PassThruError error = StatusError("ERR_J2534_WRITE_FAILED:", status);
    error.text += ", sent " + std::to_string(result->num_msgs) + "/" +
                  std::to_string(messages.size()) + " messages";
    return error;
  }
  connection.echo_list().Add(messages, result->num_msgs);
  return result->num_msgs;
}

Result<protocol::RawResult, PassThruError> SendRaw(
    Connection& connection, const std::vector<protocol::BatchMessage>& messages,
    uint32_t timeout_ms) {
  if (messages.empty()) return protocol::RawResult{};
  auto result = WriteBatch(connection, messages, timeout_ms);
  if (!result) return result;
  connection.echo_list().Add(messages, result->num_msgs);
  return result;
}

Result<Messages, PassThruError> Drain(Connection& connection, uint32_t timeout_ms,
                                      uint32_t frames_per_call, uint32_t max_calls) {
  auto read = connection.library().Resolve<PassThruReadWriteFn>("PassThruReadMsgs");
  if (!read) return std::move(read).error();
  uint32_t frames = Clamp(frames_per_call, kMaxDrainFrames);
  uint32_t calls = Clamp(max_calls, kMaxDrainCalls);
  // Reused by every read of this operation, and by later drains of the same size.
  MessageArray& records = connection.ReceiveRecords(frames);
  Messages out;
  uint32_t status = DrainChannel(connection, *read, records, connection.channel_id(), timeout_ms,
                                 calls, IsCanLike(connection.protocol_id()), false, out);
  if (status != kStatusNoError) return ReadFailed(status);
  if (connection.has_29bit_channel()) {
    // Failures on the extra channel only end its reading.
    (void)DrainChannel(connection, *read, records, connection.channel_29bit_id(), 0, calls, true,
                       true, out);
  }
  return out;
}

Result<Messages, PassThruError> ReadWithEcho(const Connection& connection, uint32_t timeout_ms) {
  MessageArray records = MessageArray::ForReceive(connection.api_0500(), connection.protocol_id(),
                                                  kReadWithEchoFrames);
  uint32_t count = 0;
  auto status = ReadOnce(connection, records, count, timeout_ms);
  if (!status) return std::move(status).error();
  if (!IsNormalReadStatus(*status)) return ReadFailed(*status);
  Messages out;
  bool can_like = IsCanLike(connection.protocol_id());
  uint32_t filled = std::min<uint32_t>(count, kReadWithEchoFrames);
  for (uint32_t i = 0; i < filled; ++i) {
    if (auto message = ToMessage(records.View(i), can_like)) out.push_back(std::move(*message));
  }
  return out;
}

Result<protocol::RawResult, PassThruError> ReadRaw(const Connection& connection,
                                                   uint32_t max_frames, uint32_t timeout_ms) {
  MessageArray records = MessageArray::ForReceive(connection.api_0500(), connection.protocol_id(),
                                                  Clamp(max_frames, kMaxRawReadFrames));
  uint32_t count = 0;
  auto status = ReadOnce(connection, records, count, timeout_ms);
  if (!status) return std::move(status).error();
  return protocol::RawResult{static_cast<int32_t>(*status), count};
}

}  // namespace tarnix::j2534
