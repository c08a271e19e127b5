// The J2534 session's dispatch of frames: writing, reading through the channel's buffer and past
// it, periodic messages and filters, each on the channel the request names.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>

#include "j2534/filters.h"
#include "j2534/io.h"
#include "j2534/ioctl.h"
#include "j2534/periodic.h"
#include "j2534/record_form.h"
#include "passthru/numbers.h"
#include "worker/session_dispatcher.h"

namespace tarnix::worker {
namespace {

using protocol::Outcome;
using protocol::Payload;

/// A record of AddFilterRaw made from its byte members.
wire::RecordParam RecordOf(const wire::Bytes& data, uint32_t tx_flags) {
  wire::RecordParam record;
  record.tx_flags = tx_flags;
  record.data = data;
  return record;
}

/// AddFilterRaw with records: those given as they are, the others from the byte members with the
/// mask record's TxFlags (or CAN_29BIT_ID for `extended`).
Result<uint32_t, j2534::PassThruError> AddFilterRecords(const j2534::Port& port,
                                                        const protocol::AddFilterRaw& r) {
  uint32_t type = 0;
  if (r.filter_number) {
    type = *r.filter_number;
  } else {
    auto named = j2534::FilterType(r.filter_type);
    if (!named) return std::move(named).error();
    type = *named;
  }
  const uint32_t tx_flags =
      r.mask_record ? r.mask_record->tx_flags : (r.extended ? passthru::kCan29BitId : 0);
  std::optional<wire::RecordParam> flow = r.flow_control_record;
  if (!flow && r.flow_control && type == passthru::kFlowControlFilter) {
    flow = RecordOf(*r.flow_control, tx_flags);
  }
  return j2534::AddFilterRecords(port, type, r.mask_record.value_or(RecordOf(r.mask, tx_flags)),
                                 r.pattern_record.value_or(RecordOf(r.pattern, tx_flags)), flow);
}

/// The direct read of ReadMessagesWithLoopback: reads that never wait, with the bridge's own
/// pauses between them until something came, `timeout_ms` passed or the read should end.
Result<j2534::Messages, j2534::PassThruError> ReadDirect(const j2534::Port& port,
                                                         uint32_t timeout_ms, uint32_t room,
                                                         Milliseconds poll) {
  const Clock::TimePoint deadline = SteadyClock().Now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    auto read = j2534::ReadWithEcho(port, 0, room);
    if (!read.ok() || !read->empty() || ReadShouldEnd()) return read;
    const Clock::Duration left = deadline - SteadyClock().Now();
    if (left <= Clock::Duration::zero()) return read;
    PauseForRead(std::chrono::duration_cast<Milliseconds>(left) >= poll
                     ? std::chrono::duration_cast<Clock::Duration>(poll)
                     : left);
  }
}

}  // namespace

Outcome J2534Session::Dispatcher::operator()(const protocol::SendMessage& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    return Answer(j2534::SendOne(port, r.arb_id, r.data, r.extended));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::SendMessagesBatch& r) const {
  return OnPort(
      r, [&](const j2534::Port& port) { return Answer(j2534::SendBatch(port, r.messages)); });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::WriteMessagesRaw& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (r.records) return Answer(j2534::WriteRecords(port, *r.records, r.timeout_ms));
    return Answer(j2534::SendRaw(port, r.messages, r.timeout_ms));
  });
}

// Reading: ReadMessages through the channel's buffer, the direct reads past it (the buffer keeps
// its frames, and what they read never enters it).
Outcome J2534Session::Dispatcher::operator()(const protocol::ReadMessages& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    Buffered& buffered = session_.BufferOf(port.channel());
    return Payload(TakeFrames(buffered.buffer, buffered.drain, r, session_.tunables_.poll_interval,
                              SteadyClock(), &PauseForRead));
  });
}

// ReadMessagesWithLoopback first takes the echoes the pump kept, which are older than anything
// still on the device.
Outcome J2534Session::Dispatcher::operator()(const protocol::ReadMessagesWithLoopback& r) const {
  return OnPort(r, [&](const j2534::Port& port) -> Outcome {
    RxBuffer& buffer = session_.BufferOf(port.channel()).buffer;
    std::vector<protocol::ReceivedMessage> echoes = buffer.TakeEchoes(j2534::kReadWithEchoFrames);
    const auto room = static_cast<uint32_t>(j2534::kReadWithEchoFrames - echoes.size());
    if (room == 0) return Payload(std::move(echoes));
    auto read =
        ReadDirect(port, echoes.empty() ? r.timeout_ms : 0, room, session_.tunables_.poll_interval);
    // Echoes already taken are answered, so that a failing read does not lose them.
    if (!read.ok() && echoes.empty()) return Failed(std::move(read).error());
    if (read.ok()) std::move(read->begin(), read->end(), std::back_inserter(echoes));
    return Payload(std::move(echoes));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::ReadMessagesRaw& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (r.as_records) return Answer(j2534::ReadRecords(port, r.max_msgs, r.timeout_ms));
    // Cut into poll intervals, so that the client's next request ends the wait.
    const j2534::ReadSlices slices{static_cast<uint32_t>(std::min<uint64_t>(
                                       session_.tunables_.poll_interval.count(), UINT32_MAX)),
                                   &ReadShouldEnd};
    return Answer(j2534::ReadRaw(port, r.max_msgs, r.timeout_ms, &slices));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::ClearBuffers& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    Result<void, j2534::PassThruError> cleared = j2534::ClearBuffers(port, r.buffer);
    // Frames already pumped are part of the device's receive queue as the client sees it.
    if (cleared.ok() && r.buffer != protocol::BufferChoice::Tx) {
      session_.BufferOf(port.channel()).buffer.Clear();
    }
    return Answer(std::move(cleared));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::StartPeriodicMessage& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (r.record) return Answer(j2534::StartPeriodicRecord(port, *r.record, r.interval_ms));
    return Answer(j2534::StartPeriodic(port, r.arb_id, r.data, r.extended, r.interval_ms));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::StopPeriodicMessage& r) const {
  return OnPort(
      r, [&](const j2534::Port& port) { return Answer(j2534::StopPeriodic(port, r.msg_id)); });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::ClearPeriodicMessages& r) const {
  return OnPort(r, [&](const j2534::Port& port) { return Answer(j2534::ClearPeriodic(port)); });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::AddFilter& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    return Answer(
        j2534::AddFilter(port, r.filter_type, r.mask, r.pattern, r.extended, r.flow_control));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::AddFilterRaw& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (r.mask_record || r.pattern_record || r.flow_control_record || r.filter_number) {
      return Answer(AddFilterRecords(port, r));
    }
    return Answer(
        j2534::AddFilterRaw(port, r.filter_type, r.mask, r.pattern, r.extended, r.flow_control));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::RemoveFilter& r) const {
  return OnPort(
      r, [&](const j2534::Port& port) { return Answer(j2534::RemoveFilter(port, r.filter_id)); });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::ClearFilters& r) const {
  return OnPort(r, [&](const j2534::Port& port) { return Answer(j2534::ClearFilters(port)); });
}

}  // namespace tarnix::worker
