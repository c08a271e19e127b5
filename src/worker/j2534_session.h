// The session a bridge worker runs for an open J2534 interface: the connection, its receive
// buffer, the pump that fills it, and the dispatch of every forwarded request.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "j2534/call_tracer.h"
#include "j2534/connection.h"
#include "protocol/request.h"
#include "protocol/response.h"
#include "worker/pump_tunables.h"
#include "worker/rx_buffer.h"
#include "worker/rx_pump.h"
#include "worker/worker.h"

namespace tarnix::worker {

/// Reads through `port` what its channel holds into the buffer it is given, `records_per_read`
/// records per call and at most `reads` calls, with echoes marked; errors carry the J2534 text.
/// The port's connection and channel must outlive the function.
DrainFunction MakeDrain(const j2534::Port& port, uint32_t records_per_read, uint32_t reads);

/// What a session needs beyond its connection to list another library's devices.
struct ScanSettings {
  std::string dll_path;             ///< the connection's own library: scanned without a load
  j2534::TraceSettings trace = {};  ///< where the calls of another library are recorded
};

/// An open connection served on the worker thread. Frames each buffered channel receives are
/// pumped into a bounded buffer of that channel between requests and handed out by
/// ReadMessages; every other request runs its J2534 operation on the connection, on the channel
/// it names (Open's when it names none). Destruction writes the dropped-frames summary of every
/// buffer that dropped frames, releases the buffers, then tears the connection down (every
/// channel, the device, the library).
class J2534Session final : public Session {
 public:
  J2534Session(j2534::Connection connection, const PumpTunables& tunables, ScanSettings scan = {});
  J2534Session(const J2534Session&) = delete;
  J2534Session& operator=(const J2534Session&) = delete;
  ~J2534Session() override;

  /// Runs the request's operation and answers its payload; every failure is a code -1 answer
  /// carrying the operation's text, and the connection stays usable.
  protocol::Outcome Execute(const protocol::Request& request) override;

  /// One pump cycle with a 0 ms read timeout.
  void Pump() override;

  Milliseconds PollInterval() const override { return tunables_.poll_interval; }

  /// The frames of the main channel waiting for ReadMessages (for inspection; the worker thread
  /// alone touches it). The main channel must exist.
  const RxBuffer& buffer() const;

 private:
  class Dispatcher;

  /// A channel's receive buffer and the drain that fills it.
  struct Buffered {
    Buffered(const j2534::Port& port, const PumpTunables& tunables);
    RxBuffer buffer;
    DrainFunction drain;
  };

  /// The buffer of `channel`, made on first use.
  Buffered& BufferOf(j2534::Channel& channel);
  /// Drops the buffer of a channel that is gone, reporting its dropped frames.
  void Forget(uint32_t channel_id);

  const PumpTunables tunables_;
  const ScanSettings scan_;
  // Destroyed in reverse order: the buffers (and their frames) before the connection.
  j2534::Connection connection_;
  std::map<uint32_t, std::unique_ptr<Buffered>> buffers_;
};

/// What a worker runs for an Open request, with its own copy of the parameters. On the worker
/// thread it reads the pump tunables and the trace settings, runs the connection sequence (whose
/// error becomes the start-up failure unchanged) and builds the session with empty buffers.
SessionFactory MakeJ2534SessionFactory(const protocol::Open& open);

/// What a worker runs for a ScanDevices request while no device is open: a session that answers
/// ScanDevices alone, loading the library named in it (its calls recorded as TARNIX_TRACE says).
SessionFactory MakeScanSessionFactory();

}  // namespace tarnix::worker
