// The message entry points: reading, writing, periodic messages and filters, each one request
// whose records carry every field of the application's.
#include <algorithm>

#include "shim/passthru.h"
#include "shim/wire_records.h"

namespace tarnix::shim {
namespace {

/// The records one read asks for at most: a read may return fewer than asked, so a larger count
/// is served in several reads.
constexpr uint32_t kMaxReadRecords = 1024;
/// The records one library call of the bridge writes at most: a larger count is several calls,
/// each with the application's time-out.
constexpr uint64_t kMaxWriteRecords = 1024;

// Whether every one of `count` records states a size its data area holds.
bool Fits(const PassThruMsg0404* messages, uint32_t count) {
  return std::all_of(messages, messages + count, [](const PassThruMsg0404& message) {
    return message.DataSize <= kMaxDataSize;
  });
}

void AddRecord(Request& request, std::string_view key, const PassThruMsg0404& message) {
  request.params().Key(key);
  WriteRecord(request.params(), message);
}

constexpr char kTooLong[] = "a message states more data bytes than its record holds (4128)";

}  // namespace

int32_t PassThru::ReadMsgs(uint32_t channel_id, PassThruMsg0404* messages, uint32_t* count,
                           uint32_t timeout_ms) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    if (messages == nullptr || count == nullptr) {
      return Failed(kErrNullParameter, "no messages or no count");
    }
    const uint32_t room = std::min(*count, kMaxReadRecords);
    *count = 0;
    Request request = NewRequest("ReadMessagesRaw");
    request.Number("channel", channel_id)
        .Number("timeout_ms", timeout_ms)
        .Number("max_msgs", room)
        .Flag("as_records", true);
    uint32_t status = kStatusNoError;
    const std::optional<Answer> answer = Call(request, timeout_ms, status);
    if (!answer) return status;
    const std::optional<RawResult> raw = ReadRawResultData(answer->data, messages, room);
    if (!raw) return Garbled(request.method());
    *count = raw->filled;
    return raw->result == kStatusNoError ? kStatusNoError : LibraryFailed(raw->result);
  });
}

int32_t PassThru::WriteMsgs(uint32_t channel_id, const PassThruMsg0404* messages, uint32_t* count,
                            uint32_t timeout_ms) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    if (messages == nullptr || count == nullptr) {
      return Failed(kErrNullParameter, "no messages or no count");
    }
    const uint32_t given = *count;
    *count = 0;
    if (!Fits(messages, given)) return Failed(kErrInvalidMsg, kTooLong);
    Request request = NewRequest("WriteMessagesRaw");
    request.Number("channel", channel_id).Number("timeout_ms", timeout_ms);
    JsonWriter& out = request.params();
    out.Key("records");
    out.BeginArray();
    for (uint32_t i = 0; i < given; ++i)
      WriteRecord(out, messages[i]);
    out.EndArray();
    const uint64_t calls = std::max<uint64_t>(1, (given + kMaxWriteRecords - 1) / kMaxWriteRecords);
    uint32_t status = kStatusNoError;
    const std::optional<Answer> answer = Call(request, calls * timeout_ms, status);
    if (!answer) return status;
    const std::optional<RawResult> raw = ReadRawResultData(answer->data, nullptr, 0);
    if (!raw) return Garbled(request.method());
    *count = raw->num_msgs;
    return raw->result == kStatusNoError ? kStatusNoError : LibraryFailed(raw->result);
  });
}

int32_t PassThru::StartPeriodicMsg(uint32_t channel_id, const PassThruMsg0404* message,
                                   uint32_t* msg_id, uint32_t interval_ms) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    if (message == nullptr || msg_id == nullptr) {
      return Failed(kErrNullParameter, "no message or no place for its id");
    }
    if (!Fits(message, 1)) return Failed(kErrInvalidMsg, kTooLong);
    Request request = NewRequest("StartPeriodicMessage");
    request.Number("channel", channel_id).Number("interval_ms", interval_ms);
    AddRecord(request, "record", *message);
    uint32_t status = kStatusNoError;
    const std::optional<Answer> answer = Call(request, 0, status);
    if (!answer) return status;
    const std::optional<uint32_t> id = ReadNumberData(answer->data);
    if (!id) return Garbled(request.method());
    *msg_id = *id;
    return kStatusNoError;
  });
}

int32_t PassThru::StopPeriodicMsg(uint32_t channel_id, uint32_t msg_id) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    Request request = NewRequest("StopPeriodicMessage");
    request.Number("channel", channel_id).Number("msg_id", msg_id);
    return Status(request);
  });
}

int32_t PassThru::StartMsgFilter(uint32_t channel_id, uint32_t filter_type,
                                 const PassThruMsg0404* mask, const PassThruMsg0404* pattern,
                                 const PassThruMsg0404* flow_control, uint32_t* filter_id) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    if (mask == nullptr || pattern == nullptr || filter_id == nullptr) {
      return Failed(kErrNullParameter, "no mask, no pattern or no place for the filter id");
    }
    if (!Fits(mask, 1) || !Fits(pattern, 1) ||
        (flow_control != nullptr && !Fits(flow_control, 1))) {
      return Failed(kErrInvalidMsg, kTooLong);
    }
    Request request = NewRequest("AddFilterRaw");
    request.Number("channel", channel_id).Number("filter_type", filter_type);
    AddRecord(request, "mask_record", *mask);
    AddRecord(request, "pattern_record", *pattern);
    if (flow_control != nullptr) AddRecord(request, "flow_control_record", *flow_control);
    uint32_t status = kStatusNoError;
    const std::optional<Answer> answer = Call(request, 0, status, true);
    if (!answer) return status;
    const std::optional<uint32_t> id = ReadNumberData(answer->data);
    if (!id) return Garbled(request.method());
    *filter_id = *id;
    return kStatusNoError;
  });
}

int32_t PassThru::StopMsgFilter(uint32_t channel_id, uint32_t filter_id) {
  return Serve([&]() -> uint32_t {
    if (std::optional<uint32_t> refused = Unavailable(kErrInvalidChannelId)) return *refused;
    Request request = NewRequest("RemoveFilter");
    request.Number("channel", channel_id).Number("filter_id", filter_id);
    return Status(request);
  });
}

}  // namespace tarnix::shim
