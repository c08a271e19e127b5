// PTSIM_REPLAY: ptsim answering from a recorded trace or call log instead of its ECU model.
//
// The recording is split in two. Every call other than ReadMsgs and GetLastError is a step, and
// steps are matched strictly in order. What the recorded reads returned is not matched: each read
// with frames (or with a real failure) becomes a delivery for its channel, released once the
// step that preceded it in the recording has been replayed and then handed out to ReadMsgs calls
// on that channel, whatever their number and rhythm (empty reads are never recorded). A recorded
// GetLastError text belongs to the call before it and becomes the answer once that call is
// replayed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "sim/frame.h"
#include "trace/call.h"

namespace tarnix::sim {

class Replay {
 public:
  /// What a recorded PassThruGetLastError answered.
  struct LastError {
    uint32_t status = 0;
    std::string text;
  };
  /// A recorded call other than ReadMsgs and GetLastError, and the line it came from.
  struct Step {
    size_t line = 0;
    trace::Call call;
    std::optional<LastError> last_error;  ///< asked for right after this call
  };
  /// What one recorded ReadMsgs returned, and after how many steps it happened.
  struct Delivery {
    size_t after_steps = 0;
    uint32_t channel = 0;
    std::vector<Frame> frames;
    uint32_t status = 0;
    std::optional<LastError> last_error;
  };
  /// The outcome of a replayed ReadMsgs.
  struct Read {
    std::vector<Frame> frames;
    uint32_t status = 0;
  };

  /// Reads the recording at `path` (UTF-8). The error names the first refused line and why. An
  /// unterminated last line that does not parse (a recorder that stopped mid-line) is left out.
  static Result<std::unique_ptr<Replay>> Load(const std::string& path);
  /// The same from a stream.
  static Result<std::unique_ptr<Replay>> FromStream(std::istream& in);

  /// Matches `actual` (any call but ReadMsgs and GetLastError) against the next step: the same
  /// entry point, the same ioctl, and for writes the same message bytes. Returns the recorded
  /// call and moves on; or returns null, stays, and makes the divergence the last error: which
  /// line was expected and what came instead.
  const trace::Call* Match(const trace::Call& actual);

  /// Up to `max` released frames of `channel`, waiting at most `timeout_ms` for some: status 0,
  /// or the status of a recorded failing read, or ERR_BUFFER_EMPTY / ERR_TIMEOUT with none.
  Read ReadMsgs(uint32_t channel, size_t max, uint32_t timeout_ms);

  /// What PassThruGetLastError answers now.
  LastError CurrentLastError();

 private:
  struct Pending {
    size_t delivery;
    size_t taken = 0;
  };

  Replay(std::vector<Step> steps, std::vector<Delivery> deliveries,
         std::optional<LastError> initial, size_t last_line);
  void Release();
  void TakeFrom(std::deque<Pending>& queue, size_t max, Read& read);

  const std::vector<Step> steps_;
  const std::vector<Delivery> deliveries_;
  const size_t last_line_;  // of the recording's last call

  std::mutex mutex_;  // guards the members below
  std::condition_variable released_;
  size_t cursor_ = 0;         // steps replayed
  size_t next_delivery_ = 0;  // deliveries released
  std::map<uint32_t, std::deque<Pending>> queues_;
  LastError last_error_;
};

}  // namespace tarnix::sim
