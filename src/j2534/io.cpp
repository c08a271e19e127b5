// Frames through a connection: writing in bounded calls, draining with the echoes marked, and the
// direct reads.
#include "j2534/io.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

constexpr uint32_t kSendOneTimeoutMs = 1000;
constexpr uint32_t kMaxDrainFrames = 256;
constexpr uint32_t kMaxDrainCalls = 256;
constexpr uint32_t kMaxRawReadFrames = 64;

uint32_t Clamp(uint32_t value, uint32_t high) {
  return std::clamp<uint32_t>(value, 1, high);
}

bool IsNormalReadStatus(uint32_t status) {
  return status == passthru::kStatusNoError || status == passthru::kErrTimeout ||
         status == passthru::kErrBufferEmpty;
}

// The MSG_TOO_LONG refusal of the first element that does not fit, if any.
std::optional<PassThruError> CheckSizes(uint32_t protocol_id,
                                        std::span<const wire::BatchMessage> messages) {
  const size_t max = MaxPayload(protocol_id);
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].data.size() > max) {
      return TooLongError("messages[" + std::to_string(i) + "]", messages[i].data.size(), max,
                          protocol_id);
    }
  }
  return std::nullopt;
}

// Packs frames that fit into the connection's send records and writes them in one call; the
// records are clean again afterwards. `Frame` has arb_id, data and extended.
template <typename Frame>
Result<wire::RawResult, PassThruError> WriteCall(const Port& connection,
                                                 std::span<const Frame> frames,
                                                 uint32_t timeout_ms) {
  const uint32_t protocol_id = connection.protocol_id();
  MessageArray& records = connection.SendRecords(frames.size());
  size_t bytes = 0;
  for (const Frame& frame : frames)
    bytes += frame.data.size();
  bytes += frames.size() * HeadOf(protocol_id, 0, false).prefix_size;
  records.BeginPacking(bytes);
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameHead head = HeadOf(protocol_id, frames[i].arb_id, frames[i].extended);
    records.Pack(i, head.tx_flags, head.bytes(), frames[i].data);
  }
  auto count = static_cast<uint32_t>(frames.size());
  auto status = CallWrite(connection, records, count, timeout_ms);
  records.ClearPacked(frames.size());
  if (!status) return std::move(status).error();
  return wire::RawResult{static_cast<int32_t>(*status), count};
}

// Writes checked frames in calls of at most kWriteChunkFrames, each with `timeout_ms` or, when
// absent, the timeout of its frame count, until a call fails or sends fewer than it carried.
// Answers that call's status (0 when none failed) and the counts of all calls added up. Each call's
// frames go into the echo list when it succeeded, or whatever its status with `echo_failed`.
Result<wire::RawResult, PassThruError> WriteInCalls(const Port& connection,
                                                    std::span<const wire::BatchMessage> messages,
                                                    std::optional<uint32_t> timeout_ms,
                                                    bool echo_failed) {
  wire::RawResult total;
  for (size_t first = 0; first < messages.size(); first += kWriteChunkFrames) {
    const auto chunk =
        messages.subspan(first, std::min(kWriteChunkFrames, messages.size() - first));
    auto call = WriteCall(connection, chunk, timeout_ms.value_or(BatchTimeoutMs(chunk.size())));
    if (!call) return call;
    total.result = call->result;
    total.num_msgs = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{total.num_msgs} + call->num_msgs, UINT32_MAX));
    const bool failed = call->result != static_cast<int32_t>(passthru::kStatusNoError);
    if (!failed || echo_failed) connection.echo_list().Add(chunk, call->num_msgs);
    if (failed || call->num_msgs < chunk.size()) break;
  }
  return total;
}

// Reads `channel_id` into `sink` as Drain describes. Answers the status of the first read when
// it was abnormal (nothing was gathered then), otherwise STATUS_NOERROR.
uint32_t DrainChannel(const Port& connection, const EntryPoint<passthru::PassThruReadWriteFn>& read,
                      MessageArray& records, uint32_t frames, uint32_t channel_id,
                      uint32_t first_timeout_ms, uint32_t max_calls, bool can_like,
                      bool mark_extended, FrameSink& sink) {
  EchoList& echo_list = connection.echo_list();
  for (uint32_t call = 0; call < max_calls; ++call) {
    uint32_t count = frames;
    auto status = static_cast<uint32_t>(
        read(channel_id, records.records(), &count, call == 0 ? first_timeout_ms : 0));
    if (!IsNormalReadStatus(status)) {
      // What a failing library left in the records is unknown: restore all of them.
      records.RestoreReceive(frames);
      return call == 0 ? status : passthru::kStatusNoError;
    }
    // A library that reports more records than it was given room for: read only those.
    uint32_t filled = std::min(count, frames);
    for (uint32_t i = 0; i < filled; ++i) {
      auto message = ToMessage(records.View(i), can_like);
      if (!message) continue;
      message->echo = (records.RxStatus(i) & passthru::kTxMsgType) != 0 ||
                      (can_like && echo_list.Cancel(message->arb_id, message->data));
      if (mark_extended) message->extended = true;
      sink.Put(std::move(*message));
    }
    records.RestoreReceive(filled);
    if (count < frames) break;
  }
  return passthru::kStatusNoError;
}

// A sink that gathers the frames that are no echoes in a list.
class ListSink final : public FrameSink {
 public:
  void Put(wire::ReceivedMessage&& frame) override {
    if (!frame.echo) frames.push_back(std::move(frame));
  }
  Messages frames;
};

// One read of `frames` of the connection's receive records on the main channel; the status (or
// a missing entry point) and the count. `use` sees the records before they are restored.
template <typename Use>
Result<uint32_t, PassThruError> ReadOnce(const Port& connection, uint32_t frames,
                                         uint32_t timeout_ms, uint32_t& count, Use&& use) {
  auto read =
      connection.library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kReadMsgs);
  if (!read) return std::move(read).error();
  MessageArray& records = connection.ReceiveRecords(frames);
  count = frames;
  auto status = static_cast<uint32_t>(
      (*read)(connection.channel_id(), records.records(), &count, timeout_ms));
  const uint32_t filled = std::min(count, frames);
  use(records, IsNormalReadStatus(status) ? filled : 0u);
  records.RestoreReceive(IsNormalReadStatus(status) ? filled : frames);
  return status;
}

PassThruError ReadFailed(uint32_t status) {
  return StatusError("ERR_J2534_READ_FAILED:", status);
}

}  // namespace

Result<uint32_t, PassThruError> CallWrite(const Port& connection, MessageArray& records,
                                          uint32_t& count, uint32_t timeout_ms) {
  using passthru::Entry;
  const PassThruLibrary& library = connection.library();
  const uint32_t channel_id = connection.channel_id();
  const bool api_0500 = connection.api_0500();
  if (api_0500) {
    if (Result<void*> queue = library.Find(Entry::kQueueMsgs)) {
      auto fn = library.Bind<passthru::PassThruQueueMsgsFn>(Entry::kQueueMsgs, queue.value());
      return static_cast<uint32_t>(fn(channel_id, records.records(), &count));
    }
  }
  Result<void*> write = library.Find(Entry::kWriteMsgs);
  if (!write) {
    return FunctionNotFoundError(
        api_0500 ? "PassThruQueueMsgs/PassThruWriteMsgs" : passthru::EntryName(Entry::kWriteMsgs),
        write.error().text);
  }
  auto fn = library.Bind<passthru::PassThruReadWriteFn>(Entry::kWriteMsgs, write.value());
  return static_cast<uint32_t>(fn(channel_id, records.records(), &count, timeout_ms));
}

uint32_t BatchTimeoutMs(size_t count) {
  constexpr size_t kPerFrameMs = 10;
  constexpr size_t kMinimumMs = 5000;
  constexpr size_t kCap = UINT32_MAX / kPerFrameMs;
  return static_cast<uint32_t>(std::max(std::min(count, kCap) * kPerFrameMs, kMinimumMs));
}

Result<void, PassThruError> SendOne(const Port& connection, uint32_t arb_id,
                                    const wire::Bytes& data, bool extended) {
  uint32_t protocol_id = connection.protocol_id();
  if (data.size() > MaxPayload(protocol_id)) {
    return TooLongError({}, data.size(), MaxPayload(protocol_id), protocol_id);
  }
  struct Frame {
    uint32_t arb_id;
    const wire::Bytes& data;
    bool extended;
  };
  const Frame frame{arb_id, data, extended};
  auto result = WriteCall(connection, std::span<const Frame>(&frame, 1), kSendOneTimeoutMs);
  if (!result) return std::move(result).error();
  auto status = static_cast<uint32_t>(result->result);
  if (status != passthru::kStatusNoError) {
    return PassThruError{"ERR_J2534_WRITE_FAILED: error code " + std::to_string(status) + " [" +
                             StatusNameOrUnknown(status) + "]",
                         status};
  }
  connection.echo_list().Add(arb_id, data);
  return {};
}

Result<uint32_t, PassThruError> SendBatch(const Port& connection,
                                          const std::vector<wire::BatchMessage>& messages) {
  if (messages.empty()) return 0u;
  if (auto refused = CheckSizes(connection.protocol_id(), messages)) return std::move(*refused);
  auto result = WriteInCalls(connection, messages, std::nullopt, false);
  if (!result) return std::move(result).error();
  auto status = static_cast<uint32_t>(result->result);
  if (status != passthru::kStatusNoError) {
    PassThruError error = StatusError("ERR_J2534_WRITE_FAILED:", status);
    error.text += ", sent " + std::to_string(result->num_msgs) + "/" +
                  std::to_string(messages.size()) + " messages";
    return error;
  }
  return result->num_msgs;
}

Result<wire::RawResult, PassThruError> SendRaw(const Port& connection,
                                               const std::vector<wire::BatchMessage>& messages,
                                               uint32_t timeout_ms) {
  if (messages.empty()) return wire::RawResult{};
  if (auto refused = CheckSizes(connection.protocol_id(), messages)) return std::move(*refused);
  return WriteInCalls(connection, messages, timeout_ms, true);
}

Result<void, PassThruError> Drain(const Port& connection, uint32_t timeout_ms,
                                  uint32_t frames_per_call, uint32_t max_calls, FrameSink& sink) {
  auto read =
      connection.library().Resolve<passthru::PassThruReadWriteFn>(passthru::Entry::kReadMsgs);
  if (!read) return std::move(read).error();
  uint32_t frames = Clamp(frames_per_call, kMaxDrainFrames);
  uint32_t calls = Clamp(max_calls, kMaxDrainCalls);
  // Reused by every read of this operation, and by later drains.
  MessageArray& records = connection.ReceiveRecords(frames);
  uint32_t status =
      DrainChannel(connection, *read, records, frames, connection.channel_id(), timeout_ms, calls,
                   passthru::IsCanLike(connection.protocol_id()), false, sink);
  if (status != passthru::kStatusNoError) return ReadFailed(status);
  if (connection.has_29bit_channel()) {
    // Failures on the extra channel only end its reading.
    (void)DrainChannel(connection, *read, records, frames, connection.channel_29bit_id(), 0, calls,
                       true, true, sink);
  }
  return {};
}

Result<Messages, PassThruError> Drain(const Port& connection, uint32_t timeout_ms,
                                      uint32_t frames_per_call, uint32_t max_calls) {
  ListSink sink;
  auto drained = Drain(connection, timeout_ms, frames_per_call, max_calls, sink);
  if (!drained) return std::move(drained).error();
  return std::move(sink.frames);
}

Result<Messages, PassThruError> ReadWithEcho(const Port& connection, uint32_t timeout_ms,
                                             uint32_t max_frames) {
  Messages out;
  const bool can_like = passthru::IsCanLike(connection.protocol_id());
  uint32_t count = 0;
  auto status = ReadOnce(connection, Clamp(max_frames, kReadWithEchoFrames), timeout_ms, count,
                         [&](const MessageArray& records, uint32_t filled) {
                           for (uint32_t i = 0; i < filled; ++i) {
                             auto message = ToMessage(records.View(i), can_like);
                             if (message) out.push_back(std::move(*message));
                           }
                         });
  if (!status) return std::move(status).error();
  if (!IsNormalReadStatus(*status)) return ReadFailed(*status);
  return out;
}

Result<wire::RawResult, PassThruError> ReadRaw(const Port& connection, uint32_t max_frames,
                                               uint32_t timeout_ms, const ReadSlices* slices) {
  const uint32_t frames = Clamp(max_frames, kMaxRawReadFrames);
  const Clock& clock = connection.clock();
  const Clock::TimePoint deadline = clock.Now() + std::chrono::milliseconds(timeout_ms);
  wire::RawResult total;
  for (;;) {
    uint32_t wait_ms = timeout_ms;
    if (slices != nullptr && timeout_ms != 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.Now()).count();
      wait_ms = static_cast<uint32_t>(
          std::clamp<int64_t>(left, 0, std::max<uint32_t>(slices->slice_ms, 1)));
    }
    uint32_t count = 0;
    const Clock::TimePoint called = clock.Now();
    auto status = ReadOnce(connection, frames - total.num_msgs, wait_ms, count,
                           [](const MessageArray&, uint32_t) {});
    if (!status) return std::move(status).error();
    total.result = static_cast<int32_t>(*status);
    total.num_msgs += std::min(count, frames - total.num_msgs);
    const Clock::TimePoint now = clock.Now();
    // A library that answers "nothing" at once, whatever the timeout, is not asked again and
    // again until the timeout passes: its answer is the read's, as it would be in one call.
    const bool did_not_wait = count == 0 && (now - called) * 2 < std::chrono::milliseconds(wait_ms);
    if (slices == nullptr || timeout_ms == 0 || !IsNormalReadStatus(*status) ||
        total.num_msgs >= frames || now >= deadline || did_not_wait ||
        (slices->should_end && slices->should_end())) {
      return total;
    }
  }
}

}  // namespace tarnix::j2534
