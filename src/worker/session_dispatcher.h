// The J2534 session's dispatch: one overload per request kind, from the request to its operation
// on the channel it names (or the device, or the receive buffer) and from the operation's result
// to the answer. Shared by the two files that define the overloads.
#pragma once

#include <cassert>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "j2534/channels.h"
#include "protocol/response.h"
#include "worker/j2534_session.h"
#include "worker/routing.h"

namespace tarnix::worker {

/// The operation's failure as an answer: its text, with its J2534 status when it has one.
inline protocol::Outcome Failed(j2534::PassThruError error) {
  return protocol::RequestFailed(std::move(error.text), error.j2534_status());
}

/// The operation's value as the payload of kind T, or its failure.
template <typename T, typename V>
protocol::Outcome AnswerAs(Result<V, j2534::PassThruError> result) {
  if (!result.ok()) return Failed(std::move(result).error());
  return protocol::Payload(std::in_place_type<T>, T(std::move(result).value()));
}

/// The operation's value as the payload of its own type.
template <typename V>
protocol::Outcome Answer(Result<V, j2534::PassThruError> result) {
  return AnswerAs<V>(std::move(result));
}

/// Empty success (null), or the failure.
inline protocol::Outcome Answer(Result<void, j2534::PassThruError> result) {
  if (!result.ok()) return Failed(std::move(result).error());
  return protocol::Payload();
}

class J2534Session::Dispatcher {
 public:
  explicit Dispatcher(J2534Session& session)
      : session_(session), connection_(session.connection_) {}

  // The methods that routing.h gives to someone else never reach a session.
  template <typename Method>
  requires(kAnsweredBy<Method> != AnsweredBy::kSession &&
           kAnsweredBy<Method> != AnsweredBy::kSessionOrScanWorker) protocol::Outcome
  operator()(const Method&) const {
    assert(false && "routing.h answers this method before any session");
    return protocol::RequestFailed(kControlThreadOnly);
  }

  // Frames (session_dispatch_frames.cpp).
  protocol::Outcome operator()(const protocol::SendMessage& r) const;
  protocol::Outcome operator()(const protocol::SendMessagesBatch& r) const;
  protocol::Outcome operator()(const protocol::WriteMessagesRaw& r) const;
  protocol::Outcome operator()(const protocol::ReadMessages& r) const;
  protocol::Outcome operator()(const protocol::ReadMessagesWithLoopback& r) const;
  protocol::Outcome operator()(const protocol::ReadMessagesRaw& r) const;
  protocol::Outcome operator()(const protocol::ClearBuffers& r) const;
  protocol::Outcome operator()(const protocol::StartPeriodicMessage& r) const;
  protocol::Outcome operator()(const protocol::StopPeriodicMessage& r) const;
  protocol::Outcome operator()(const protocol::ClearPeriodicMessages& r) const;
  protocol::Outcome operator()(const protocol::AddFilter& r) const;
  protocol::Outcome operator()(const protocol::AddFilterRaw& r) const;
  protocol::Outcome operator()(const protocol::RemoveFilter& r) const;
  protocol::Outcome operator()(const protocol::ClearFilters& r) const;

  // The device, K-Line, configuration, channels and ioctls (session_dispatch_device.cpp).
  protocol::Outcome operator()(const protocol::ReadVersion& r) const;
  protocol::Outcome operator()(const protocol::GetLastError& r) const;
  protocol::Outcome operator()(const protocol::ReadBatteryVoltage& r) const;
  protocol::Outcome operator()(const protocol::ReadProgrammingVoltage& r) const;
  protocol::Outcome operator()(const protocol::SetProgrammingVoltage& r) const;
  protocol::Outcome operator()(const protocol::ScanDevices& r) const;
  protocol::Outcome operator()(const protocol::FastInit& r) const;
  protocol::Outcome operator()(const protocol::FiveBaudInit& r) const;
  protocol::Outcome operator()(const protocol::KlineInit& r) const;
  protocol::Outcome operator()(const protocol::GetConfig& r) const;
  protocol::Outcome operator()(const protocol::SetConfig& r) const;
  protocol::Outcome operator()(const protocol::GetLoopback& r) const;
  protocol::Outcome operator()(const protocol::SetLoopback& r) const;
  protocol::Outcome operator()(const protocol::GetDataRate& r) const;
  protocol::Outcome operator()(const protocol::ConnectChannel& r) const;
  protocol::Outcome operator()(const protocol::DisconnectChannel& r) const;
  protocol::Outcome operator()(const protocol::Ioctl& r) const;

 private:
  /// The channel `channel` names, or Open's without one; the unknown-channel error otherwise.
  Result<j2534::Port, j2534::PassThruError> PortFor(const std::optional<uint32_t>& channel) const {
    j2534::Channel* found = channel ? connection_.FindChannel(*channel) : connection_.main();
    if (found == nullptr) return j2534::UnknownChannelError(channel);
    return j2534::Port(connection_, *found);
  }

  /// Runs `operation` on the port the request names, or answers why there is none.
  template <typename Request, typename Operation>
  protocol::Outcome OnPort(const Request& request, Operation&& operation) const {
    auto port = PortFor(request.channel);
    if (!port.ok()) return Failed(std::move(port).error());
    return operation(*port);
  }

  J2534Session& session_;
  j2534::Connection& connection_;
};

}  // namespace tarnix::worker
