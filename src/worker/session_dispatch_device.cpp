// The J2534 session's dispatch of everything but frames: the device, K-Line initialisation,
// configuration, channels, typed ioctls and scans.
#include <utility>
#include <variant>
#include <vector>

#include "j2534/ioctl.h"
#include "j2534/kline.h"
#include "j2534/record_form.h"
#include "j2534/scan.h"
#include "j2534/typed_ioctl.h"
#include "worker/session_dispatcher.h"

namespace tarnix::worker {
namespace {

using protocol::Outcome;
using protocol::Payload;

/// The initialisations answer their one frame as a list.
template <typename Frame>
Outcome AnswerOneFrame(Result<Frame, j2534::PassThruError> result) {
  if (!result.ok()) return Failed(std::move(result).error());
  return Payload(std::vector<Frame>{std::move(result).value()});
}

}  // namespace

Outcome J2534Session::Dispatcher::operator()(const protocol::ReadVersion&) const {
  return Answer(j2534::ReadVersion(connection_));
}

Outcome J2534Session::Dispatcher::operator()(const protocol::GetLastError&) const {
  return Answer(j2534::ReadLastError(connection_));
}

// The voltages: the bridge's own choice of handle without `channel` and `device`, else the one
// handle named.
Outcome J2534Session::Dispatcher::operator()(const protocol::ReadBatteryVoltage& r) const {
  if (r.device) {
    return AnswerAs<protocol::Voltage>(
        j2534::ReadBatteryVoltage(connection_, connection_.device_id()));
  }
  if (!r.channel) return AnswerAs<protocol::Voltage>(j2534::ReadBatteryVoltage(connection_));
  return OnPort(r, [&](const j2534::Port& port) {
    return AnswerAs<protocol::Voltage>(j2534::ReadBatteryVoltage(connection_, port.channel_id()));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::ReadProgrammingVoltage& r) const {
  if (r.device) {
    return AnswerAs<protocol::Voltage>(
        j2534::ReadProgrammingVoltage(connection_, connection_.device_id()));
  }
  if (!r.channel) return AnswerAs<protocol::Voltage>(j2534::ReadProgrammingVoltage(connection_));
  return OnPort(r, [&](const j2534::Port& port) {
    return AnswerAs<protocol::Voltage>(
        j2534::ReadProgrammingVoltage(connection_, port.channel_id()));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::SetProgrammingVoltage& r) const {
  return Answer(j2534::SetProgrammingVoltage(connection_, r.pin, r.voltage));
}

// A scan of the connection's own library uses it as it is loaded; another library is loaded for
// the scan alone, on this thread, between the connection's calls.
Outcome J2534Session::Dispatcher::operator()(const protocol::ScanDevices& r) const {
  if (r.dll_path == session_.scan_.dll_path) {
    return Answer(j2534::ScanDevices(connection_.library()));
  }
  return Answer(j2534::ScanLibrary(r.dll_path, session_.scan_.trace));
}

// K-Line initialisation. FastInit in the record form answers the record as the library wrote it.
Outcome J2534Session::Dispatcher::operator()(const protocol::FastInit& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (!r.record && !r.as_records) return AnswerOneFrame(j2534::FastInit(port, r.data));
    wire::RecordParam request;
    request.data = r.data;
    auto response = j2534::FastInitRecord(port, r.record.value_or(request));
    if (!response.ok() || r.as_records) return AnswerOneFrame(std::move(response));
    return Outcome(Payload(std::vector<protocol::ReceivedMessage>{j2534::MessageOf(*response)}));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::FiveBaudInit& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    return AnswerOneFrame(j2534::FiveBaudInit(port, r.data));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::KlineInit& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    return Answer(j2534::KlineInit(port, r.init_mode, r.fast_init_data, r.five_baud_address,
                                   r.cc_timeout_ms));
  });
}

// Configuration.
Outcome J2534Session::Dispatcher::operator()(const protocol::GetConfig& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (r.parameters) return Answer(j2534::GetConfigList(port, *r.parameters));
    return Answer(j2534::GetConfig(port, r.parameter));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::SetConfig& r) const {
  return OnPort(r, [&](const j2534::Port& port) {
    if (r.parameters) return Answer(j2534::SetConfigList(port, *r.parameters));
    return Answer(j2534::SetConfig(port, r.parameter, r.value));
  });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::GetLoopback& r) const {
  return OnPort(r, [&](const j2534::Port& port) { return Answer(j2534::GetLoopback(port)); });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::SetLoopback& r) const {
  return OnPort(
      r, [&](const j2534::Port& port) { return Answer(j2534::SetLoopback(port, r.enabled)); });
}

Outcome J2534Session::Dispatcher::operator()(const protocol::GetDataRate& r) const {
  return OnPort(r, [&](const j2534::Port& port) { return Answer(j2534::GetDataRate(port)); });
}

// Channels: a buffered channel's buffer exists from its connection on, and goes with it.
Outcome J2534Session::Dispatcher::operator()(const protocol::ConnectChannel& r) const {
  const j2534::ChannelParameters parameters{r.protocol_id, r.baud_rate, r.connect_flags,
                                            r.j1962_pins, r.buffered};
  auto connected = j2534::ConnectChannel(connection_, parameters);
  if (connected.ok() && r.buffered) session_.BufferOf(*connection_.FindChannel(*connected));
  return Answer(std::move(connected));
}

Outcome J2534Session::Dispatcher::operator()(const protocol::DisconnectChannel& r) const {
  j2534::Channel* channel = connection_.FindChannel(r.channel);
  if (channel == nullptr) return Failed(j2534::UnknownChannelError(r.channel));
  Result<void, j2534::PassThruError> disconnected = j2534::DisconnectChannel(connection_, *channel);
  if (disconnected.ok()) session_.Forget(r.channel);
  return Answer(std::move(disconnected));
}

// Any other ioctl, on the device or on the channel named.
Outcome J2534Session::Dispatcher::operator()(const protocol::Ioctl& r) const {
  const auto answer = [](Result<j2534::IoctlOutcome, j2534::PassThruError> result) -> Outcome {
    if (!result.ok()) return Failed(std::move(result).error());
    return std::visit([](auto&& value) { return Payload(std::move(value)); },
                      std::move(result).value());
  };
  const wire::IoctlCall& call = r.call;
  if (r.device) {
    return answer(j2534::TypedIoctl(connection_, connection_.device_id(), 0, call));
  }
  return OnPort(r, [&](const j2534::Port& port) {
    return answer(j2534::TypedIoctl(connection_, port.channel_id(), port.protocol_id(), call));
  });
}

}  // namespace tarnix::worker
