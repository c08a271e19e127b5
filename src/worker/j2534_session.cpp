// The J2534 session's life: built from an Open on the worker thread, pumping, released in order.
#include "worker/j2534_session.h"

#include <memory>
#include <utility>
#include <vector>

#include "j2534/connect.h"
#include "j2534/io.h"
#include "wire/types.h"
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

}  // namespace

DrainFunction MakeDrain(j2534::Connection& connection, uint32_t records_per_read, uint32_t reads) {
  return [&connection, records_per_read, reads](uint32_t timeout_ms,
                                                RxBuffer& buffer) -> Result<void> {
    BufferSink sink(buffer);
    Result<void, j2534::PassThruError> drained =
        j2534::Drain(connection, timeout_ms, records_per_read, reads, sink);
    if (!drained.ok()) return Fail(std::move(drained).error().text);
    return Ok();
  };
}

J2534Session::J2534Session(j2534::Connection connection, const PumpTunables& tunables)
    : tunables_(tunables),
      connection_(std::move(connection)),
      buffer_(tunables.rx_capacity, tunables.rx_capacity_bytes),
      drain_(MakeDrain(connection_, tunables.records_per_read, tunables.reads_per_cycle)) {}

J2534Session::~J2534Session() {
  // The summary first; then members go in reverse order: the buffer, then the connection.
  buffer_.ReportAtEnd();
}

void J2534Session::Pump() {
  PumpCycle(buffer_, drain_, 0);
}

SessionFactory MakeJ2534SessionFactory(const protocol::Open& open) {
  j2534::ConnectParameters parameters{open.dll_path, open.protocol_id, open.baud_rate,
                                      open.connect_flags};
  return [parameters = std::move(parameters)]() mutable -> Result<std::unique_ptr<Session>> {
    const PumpTunables tunables = ReadPumpTunables();
    parameters.trace = ReadTraceSettings();
    Result<j2534::Connection, j2534::PassThruError> connection =
        j2534::RunConnectionSequence(parameters);
    if (!connection.ok()) return Fail(std::move(connection).error().text);
    return std::unique_ptr<Session>(
        std::make_unique<J2534Session>(std::move(connection).value(), tunables));
  };
}

}  // namespace tarnix::worker
