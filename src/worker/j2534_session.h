// The session a bridge worker runs for an open J2534 interface: the connection, its receive
// buffer, the pump that fills it, and the dispatch of every forwarded request.
#pragma once

#include <cstdint>

#include "j2534/connection.h"
#include "protocol/request.h"
#include "protocol/response.h"
#include "worker/pump_tunables.h"
#include "worker/rx_buffer.h"
#include "worker/rx_pump.h"
#include "worker/worker.h"

namespace tarnix::worker {

/// Reads through `connection` what the device holds into the buffer it is given,
/// `records_per_read` records per call and at most `reads` calls, with echoes marked; errors carry
/// the J2534 text. The connection must outlive the function.
DrainFunction MakeDrain(j2534::Connection& connection, uint32_t records_per_read, uint32_t reads);

/// An open connection served on the worker thread. Frames the device receives are pumped into a
/// bounded buffer between requests and handed out by ReadMessages; every other request runs its
/// J2534 operation on the connection. Destruction writes the dropped-frames summary (when frames
/// were dropped), releases the buffer, then tears the connection down (29-bit channel, main
/// channel, device, library).
class J2534Session final : public Session {
 public:
  J2534Session(j2534::Connection connection, const PumpTunables& tunables);
  J2534Session(const J2534Session&) = delete;
  J2534Session& operator=(const J2534Session&) = delete;
  ~J2534Session() override;

  /// Runs the request's operation and answers its payload; every failure is a code -1 answer
  /// carrying the operation's text, and the connection stays usable.
  protocol::Outcome Execute(const protocol::Request& request) override;

  /// One pump cycle with a 0 ms read timeout.
  void Pump() override;

  Milliseconds PollInterval() const override { return tunables_.poll_interval; }

  /// The frames waiting for ReadMessages (for inspection; the worker thread alone touches it).
  const RxBuffer& buffer() const { return buffer_; }

 private:
  class Dispatcher;

  const PumpTunables tunables_;
  // Destroyed in reverse order: the buffer (and its frames) before the connection.
  j2534::Connection connection_;
  RxBuffer buffer_;
  DrainFunction drain_;
};

/// What a worker runs for an Open request, with its own copy of the parameters. On the worker
/// thread it reads the pump tunables and the trace settings, runs the connection sequence (whose
/// error text becomes the start-up failure unchanged) and builds the session with an empty buffer.
SessionFactory MakeJ2534SessionFactory(const protocol::Open& open);

}  // namespace tarnix::worker
