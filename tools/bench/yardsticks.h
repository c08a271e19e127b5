// What the bridge is measured against: the library read and written in this process, an answer
// already encoded crossing the same kind of pipe, and an echo making the bridge's thread hand-off.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/result.h"
#include "j2534/connection.h"
#include "j2534/records.h"
#include "platform/pipe_client.h"
#include "platform/pipe_server.h"
#include "wire/types.h"

namespace tarnix::bench {

/// Answers every request line of one client with the text `respond` gives, from a thread of this
/// process, over a pipe of the kind the bridge serves.
class LineServer {
 public:
  using Respond = std::function<std::string_view()>;

  /// Creates the pipe; the client may connect from now on.
  static Result<std::unique_ptr<LineServer>> Start(Respond respond);
  /// Waits until the client has left.
  ~LineServer();

  const std::string& pipe_name() const { return pipe_name_.name(); }

 private:
  LineServer(platform::PipeServer pipe, platform::PrivatePipeName name, Respond respond);
  void Serve();

  platform::PipeServer pipe_;
  platform::PrivatePipeName pipe_name_;
  Respond respond_;
  std::thread thread_;
};

/// The transport limit: a server that answers every request with `answer`, captured from the
/// bridge and encoded once.
Result<std::unique_ptr<LineServer>> StartCannedServer(std::string answer);

/// The hand-off echo: a server that passes every request to a worker thread through the bridge's
/// own command channel, waits for its reply as the control thread does, and answers `answer`.
Result<std::unique_ptr<LineServer>> StartHandoffEcho(std::string answer);

/// ptsim at `path` loaded into this process and opened on ISO 15765 at 500 kbit/s, with no call
/// log and PTSIM_TRAFFIC set to `traffic` (none: empty). A process holds one such device at a time.
Result<j2534::Connection> OpenInProcess(const std::string& path, const std::string& traffic);

/// The 1000 frames that SendMessagesBatch's figures send: 8 bytes each to 73B, an identifier the
/// simulated ECU does not answer.
std::vector<wire::BatchMessage> QuietBatch();

/// The same frames packed for PassThruWriteMsgs on ISO 15765, as the in-process yardstick sends
/// them.
std::vector<j2534::OutgoingFrame> PackedQuietBatch();

/// ptsim opened in this process (OpenInProcess): the library's own limit.
class InProcessDevice {
 public:
  /// Opens the library at `path` with the variable PTSIM_TRAFFIC set to `traffic` (none: empty).
  static Result<InProcessDevice> Open(const std::string& path, const std::string& traffic);

  /// Frames per second that PassThruReadMsgs of 256 records in a loop takes, for `seconds`.
  double ReadRate(double seconds);

  /// Frames per second that PassThruWriteMsgs of `frames` records, packed once, sends, for
  /// `seconds`.
  double WriteRate(const std::vector<j2534::OutgoingFrame>& frames, double seconds);

 private:
  explicit InProcessDevice(j2534::Connection connection) : connection_(std::move(connection)) {}
  j2534::Connection connection_;
};

/// Repeats `round` (which answers what it moved) until `seconds` have passed; moved per second.
double RatePerSecond(double seconds, const std::function<uint64_t()>& round);

}  // namespace tarnix::bench
