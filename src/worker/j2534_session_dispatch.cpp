// The J2534 session's dispatch: from each forwarded request to its operation on the connection or
// the receive buffer, and from the operation's result to the answer's payload.
#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <utility>
#include <variant>
#include <vector>

#include "j2534/filters.h"
#include "j2534/io.h"
#include "j2534/ioctl.h"
#include "j2534/kline.h"
#include "j2534/periodic.h"
#include "wire/types.h"
#include "worker/j2534_session.h"
#include "worker/routing.h"

namespace tarnix::worker {
namespace {

using j2534::PassThruError;
using protocol::Outcome;
using protocol::Payload;

/// The operation's value as the payload of kind T, or its error text with code -1.
template <typename T, typename V>
Outcome AnswerAs(Result<V, PassThruError> result) {
  if (!result.ok()) return protocol::RequestFailed(std::move(result).error().text);
  return Payload(std::in_place_type<T>, T(std::move(result).value()));
}

/// The operation's value as the payload of its own type.
template <typename V>
Outcome Answer(Result<V, PassThruError> result) {
  return AnswerAs<V>(std::move(result));
}

/// Empty success (null), or the error text.
Outcome Answer(Result<void, PassThruError> result) {
  if (!result.ok()) return protocol::RequestFailed(std::move(result).error().text);
  return Payload();
}

/// The initialisations answer their one frame as a list.
Outcome AnswerOneFrame(Result<wire::ReceivedMessage, PassThruError> result) {
  if (!result.ok()) return protocol::RequestFailed(std::move(result).error().text);
  return Payload(std::vector<wire::ReceivedMessage>{std::move(result).value()});
}

}  // namespace

/// One overload per request kind; all run on the main channel unless noted.
class J2534Session::Dispatcher {
 public:
  explicit Dispatcher(J2534Session& session)
      : session_(session), connection_(session.connection_), buffer_(session.buffer_) {}

  // The methods that routing.h gives to someone else never reach a session: the worker's loop
  // answers them first. The visit over every method still needs an overload.
  template <typename Method>
  requires(kAnsweredBy<Method> != AnsweredBy::kSession) Outcome operator()(const Method&) const {
    assert(false && "routing.h answers this method before any session");
    return protocol::RequestFailed(kControlThreadOnly);
  }

  // Writing.
  Outcome operator()(const protocol::SendMessage& r) const {
    return Answer(j2534::SendOne(connection_, r.arb_id, r.data, r.extended));
  }
  Outcome operator()(const protocol::SendMessagesBatch& r) const {
    return Answer(j2534::SendBatch(connection_, r.messages));
  }
  Outcome operator()(const protocol::WriteMessagesRaw& r) const {
    return Answer(j2534::SendRaw(connection_, r.messages, r.timeout_ms));
  }

  // Reading: ReadMessages through the buffer, the direct reads past it (the buffer keeps its
  // frames, and what they read never enters it). ReadMessagesWithLoopback first takes the echoes
  // the pump kept, which are older than anything still on the device.
  Outcome operator()(const protocol::ReadMessages& r) const {
    return Payload(TakeFrames(buffer_, session_.drain_, r, session_.tunables_.poll_interval,
                              SteadyClock(), &PauseForRead));
  }
  Outcome operator()(const protocol::ReadMessagesWithLoopback& r) const {
    std::vector<wire::ReceivedMessage> echoes = buffer_.TakeEchoes(j2534::kReadWithEchoFrames);
    const auto room = static_cast<uint32_t>(j2534::kReadWithEchoFrames - echoes.size());
    if (room == 0) return Payload(std::move(echoes));
    auto read = ReadDirect(echoes.empty() ? r.timeout_ms : 0, room);
    // Echoes already taken are answered, so that a failing read does not lose them.
    if (!read.ok() && echoes.empty()) return protocol::RequestFailed(std::move(read).error().text);
    if (read.ok()) std::move(read->begin(), read->end(), std::back_inserter(echoes));
    return Payload(std::move(echoes));
  }
  Outcome operator()(const protocol::ReadMessagesRaw& r) const {
    // Cut into poll intervals, so that the client's next request ends the wait.
    const j2534::ReadSlices slices{static_cast<uint32_t>(std::min<uint64_t>(
                                       session_.tunables_.poll_interval.count(), UINT32_MAX)),
                                   &ReadShouldEnd};
    return Answer(j2534::ReadRaw(connection_, r.max_msgs, r.timeout_ms, &slices));
  }
  Outcome operator()(const protocol::ClearBuffers&) const {
    Result<void, PassThruError> cleared = j2534::ClearBuffers(connection_);
    // Frames already pumped are part of the device's receive queue as the client sees it.
    if (cleared.ok()) buffer_.Clear();
    return Answer(std::move(cleared));
  }

  // Device queries (ReadVersion on the device, GetLastError on the library).
  Outcome operator()(const protocol::ReadVersion&) const {
    return Answer(j2534::ReadVersion(connection_));
  }
  Outcome operator()(const protocol::GetLastError&) const {
    return Answer(j2534::ReadLastError(connection_));
  }
  Outcome operator()(const protocol::ReadBatteryVoltage&) const {
    return AnswerAs<wire::Voltage>(j2534::ReadBatteryVoltage(connection_));
  }
  Outcome operator()(const protocol::ReadProgrammingVoltage&) const {
    return AnswerAs<wire::Voltage>(j2534::ReadProgrammingVoltage(connection_));
  }

  // K-Line initialisation.
  Outcome operator()(const protocol::FastInit& r) const {
    return AnswerOneFrame(j2534::FastInit(connection_, r.data));
  }
  Outcome operator()(const protocol::FiveBaudInit& r) const {
    return AnswerOneFrame(j2534::FiveBaudInit(connection_, r.data));
  }
  Outcome operator()(const protocol::KlineInit& r) const {
    return Answer(j2534::KlineInit(connection_, r.init_mode, r.fast_init_data, r.five_baud_address,
                                   r.cc_timeout_ms));
  }

  // Periodic messages.
  Outcome operator()(const protocol::StartPeriodicMessage& r) const {
    return Answer(j2534::StartPeriodic(connection_, r.arb_id, r.data, r.extended, r.interval_ms));
  }
  Outcome operator()(const protocol::StopPeriodicMessage& r) const {
    return Answer(j2534::StopPeriodic(connection_, r.msg_id));
  }
  Outcome operator()(const protocol::ClearPeriodicMessages&) const {
    return Answer(j2534::ClearPeriodic(connection_));
  }

  // Filters.
  Outcome operator()(const protocol::AddFilter& r) const {
    return Answer(j2534::AddFilter(connection_, r.filter_type, r.mask, r.pattern, r.extended,
                                   r.flow_control));
  }
  Outcome operator()(const protocol::AddFilterRaw& r) const {
    return Answer(j2534::AddFilterRaw(connection_, r.filter_type, r.mask, r.pattern, r.extended,
                                      r.flow_control));
  }
  Outcome operator()(const protocol::RemoveFilter& r) const {
    return Answer(j2534::RemoveFilter(connection_, r.filter_id));
  }
  Outcome operator()(const protocol::ClearFilters&) const {
    return Answer(j2534::ClearFilters(connection_));
  }

  // Configuration.
  Outcome operator()(const protocol::GetConfig& r) const {
    return Answer(j2534::GetConfig(connection_, r.parameter));
  }
  Outcome operator()(const protocol::SetConfig& r) const {
    return Answer(j2534::SetConfig(connection_, r.parameter, r.value));
  }
  Outcome operator()(const protocol::GetLoopback&) const {
    return Answer(j2534::GetLoopback(connection_));
  }
  Outcome operator()(const protocol::SetLoopback& r) const {
    return Answer(j2534::SetLoopback(connection_, r.enabled));
  }
  Outcome operator()(const protocol::GetDataRate&) const {
    return Answer(j2534::GetDataRate(connection_));
  }

 private:
  /// The direct read of ReadMessagesWithLoopback: reads that never wait, with the bridge's own
  /// pauses between them until something came, `timeout_ms` passed or the read should end.
  Result<j2534::Messages, PassThruError> ReadDirect(uint32_t timeout_ms, uint32_t room) const {
    const Clock::TimePoint deadline = SteadyClock().Now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      auto read = j2534::ReadWithEcho(connection_, 0, room);
      if (!read.ok() || !read->empty() || ReadShouldEnd()) return read;
      const Clock::Duration left = deadline - SteadyClock().Now();
      if (left <= Clock::Duration::zero()) return read;
      const Milliseconds poll = session_.tunables_.poll_interval;
      PauseForRead(std::chrono::duration_cast<Milliseconds>(left) >= poll
                       ? std::chrono::duration_cast<Clock::Duration>(poll)
                       : left);
    }
  }

  const J2534Session& session_;
  j2534::Connection& connection_;
  RxBuffer& buffer_;
};

protocol::Outcome J2534Session::Execute(const protocol::Request& request) {
  return std::visit(Dispatcher(*this), request);
}

}  // namespace tarnix::worker
