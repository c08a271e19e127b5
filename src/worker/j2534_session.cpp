// The J2534 session's life: built from an Open on the worker thread, pumping every buffered
// channel, released in order; and the session that only scans a library's devices.
#include "worker/j2534_session.h"

#include <memory>
#include <utility>
#include <vector>

#include "j2534/connect.h"
#include "j2534/io.h"
#include "j2534/scan.h"
#include "wire/types.h"
#include "worker/routing.h"
#include "worker/session_dispatcher.h"
#include "worker/trace_settings.h"

namespace tarnix::worker {

namespace {

/// Hands each drained frame straight to the receive buffer.
class BufferSink final : public j2534::FrameSink {
 public:
  explicit BufferSink(RxBuffer& buffer) : buffer_(buffer) {}
  void Put(wire::ReceivedMessage&& frame) override { buffer_.Push(std::move(frame)); }

 private:
  RxBuffer& buffer_;
};

/// Answers ScanDevices and nothing else, for a bridge with no device open.
class ScanSession final : public Session {
 public:
  explicit ScanSession(j2534::TraceSettings trace) : trace_(std::move(trace)) {}

  protocol::Outcome Execute(const protocol::Request& request) override {
    const auto* scan = std::get_if<protocol::ScanDevices>(&request);
    if (scan == nullptr) return protocol::RequestFailed(kControlThreadOnly);
    auto devices = j2534::ScanLibrary(scan->dll_path, trace_);
    if (!devices.ok()) {
      j2534::PassThruError error = std::move(devices).error();
      return protocol::RequestFailed(std::move(error.text), error.j2534_status());
    }
    return protocol::Payload(std::move(devices).value());
  }
  void Pump() override {}
  Milliseconds PollInterval() const override { return Milliseconds(1000); }

 private:
  const j2534::TraceSettings trace_;
};

}  // namespace

DrainFunction MakeDrain(const j2534::Port& port, uint32_t records_per_read, uint32_t reads) {
  return [port, records_per_read, reads](uint32_t timeout_ms, RxBuffer& buffer) -> Result<void> {
    BufferSink sink(buffer);
    Result<void, j2534::PassThruError> drained =
        j2534::Drain(port, timeout_ms, records_per_read, reads, sink);
    if (!drained.ok()) return Fail(std::move(drained).error().text);
    return Ok();
  };
}

J2534Session::Buffered::Buffered(const j2534::Port& port, const PumpTunables& tunables)
    : buffer(tunables.rx_capacity, tunables.rx_capacity_bytes),
      drain(MakeDrain(port, tunables.records_per_read, tunables.reads_per_cycle)) {}

J2534Session::J2534Session(j2534::Connection connection, const PumpTunables& tunables,
                           ScanSettings scan)
    : tunables_(tunables), scan_(std::move(scan)), connection_(std::move(connection)) {
  for (j2534::Channel* channel : connection_.channels()) {
    if (channel->buffered()) BufferOf(*channel);
  }
}

J2534Session::~J2534Session() {
  // The summaries first; then members go in reverse order: the buffers, then the connection.
  for (const auto& [id, buffered] : buffers_)
    buffered->buffer.ReportAtEnd();
}

const RxBuffer& J2534Session::buffer() const {
  return buffers_.at(connection_.main()->id())->buffer;
}

J2534Session::Buffered& J2534Session::BufferOf(j2534::Channel& channel) {
  std::unique_ptr<Buffered>& buffered = buffers_[channel.id()];
  if (!buffered)
    buffered = std::make_unique<Buffered>(j2534::Port(connection_, channel), tunables_);
  return *buffered;
}

void J2534Session::Forget(uint32_t channel_id) {
  const auto found = buffers_.find(channel_id);
  if (found == buffers_.end()) return;
  found->second->buffer.ReportAtEnd();
  buffers_.erase(found);
}

protocol::Outcome J2534Session::Execute(const protocol::Request& request) {
  return std::visit(Dispatcher(*this), request);
}

void J2534Session::Pump() {
  for (j2534::Channel* channel : connection_.channels()) {
    if (channel->buffered()) {
      Buffered& buffered = BufferOf(*channel);
      PumpCycle(buffered.buffer, buffered.drain, 0);
    }
  }
}

SessionFactory MakeJ2534SessionFactory(const protocol::Open& open) {
  j2534::ConnectParameters parameters;
  parameters.dll_path = open.dll_path;
  parameters.protocol_id = open.protocol_id;
  parameters.baud_rate = open.baud_rate.value_or(0);
  parameters.connect_flags = open.connect_flags;
  parameters.device_name = open.device_name;
  parameters.j1962_pins = open.j1962_pins;
  return [parameters = std::move(parameters)]() mutable -> Result<std::unique_ptr<Session>> {
    const PumpTunables tunables = ReadPumpTunables();
    parameters.trace = ReadTraceSettings();
    Result<j2534::Connection, j2534::PassThruError> connection =
        j2534::RunConnectionSequence(parameters);
    if (!connection.ok()) {
      j2534::PassThruError error = std::move(connection).error();
      return Fail(std::move(error.text), error.j2534_status());
    }
    return std::unique_ptr<Session>(
        std::make_unique<J2534Session>(std::move(connection).value(), tunables,
                                       ScanSettings{parameters.dll_path, parameters.trace}));
  };
}

SessionFactory MakeScanSessionFactory() {
  return []() -> Result<std::unique_ptr<Session>> {
    return std::unique_ptr<Session>(std::make_unique<ScanSession>(ReadTraceSettings()));
  };
}

}  // namespace tarnix::worker
