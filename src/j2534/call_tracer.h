// The bridge's trace of one connection (TARNIX_TRACE): the file, its header, its size bound, and
// the times of every PassThru call written to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/clock.h"
#include "platform/append_file.h"
#include "trace/call.h"
#include "trace/encode.h"

namespace tarnix::j2534 {

class PassThruLibrary;

/// Where and how much a connection records.
struct TraceSettings {
  std::string path;                          ///< the trace file (UTF-8); empty: no trace
  uint64_t max_bytes = uint64_t{256} << 20;  ///< the size the file may reach
};

/// Appends the lines of one connection to a trace file. Each line reaches the file in one write
/// as soon as it is complete, so a crash loses at most the line being built. When the next line
/// would take the file beyond its bound, {"fn":"trace","truncated":true} is written instead and
/// recording stops; a failed write stops it too, with one log line. While it records, a fault of
/// the process ends the file with {"fn":"trace","crashed":<the call in flight, or null>}.
class CallTracer {
 public:
  CallTracer(const CallTracer&) = delete;
  CallTracer& operator=(const CallTracer&) = delete;
  ~CallTracer();

  /// Opens the file named by `settings` and writes the connection's header, which names
  /// `library_path`. A file that cannot be opened gives one log line "[bridge] Trace disabled: " +
  /// the system's reason, and null: the connection then runs unrecorded.
  static std::shared_ptr<CallTracer> Open(const TraceSettings& settings,
                                          const std::string& library_path, trace::Form form);

  /// The record form of the traced library.
  trace::Form form() const { return form_; }

  /// False once the size bound or a failed write stopped the recording.
  bool recording() const { return recording_.load(std::memory_order_relaxed); }

  /// Now, on the clock that times the calls.
  Clock::TimePoint Now() const { return SteadyClock().Now(); }

  /// Writes `line` (a call) with "t" (microseconds since the bridge started, at `start`) and "us"
  /// (from `start` to `end`).
  void WriteCall(trace::Line& line, Clock::TimePoint start, Clock::TimePoint end);

 private:
  CallTracer(platform::AppendFile file, uint64_t max_bytes, trace::Form form)
      : file_(std::move(file)), size_(file_.size_at_open()), max_bytes_(max_bytes), form_(form) {}

  void WriteLine(const std::string& text);
  /// Stops recording: no line, the crashed line included, is written any more.
  void StopRecording();

  std::mutex mutex_;  // keeps lines whole should two threads call at once
  platform::AppendFile file_;
  const trace::CrashedLineParts crashed_ = trace::EncodeCrashedLineParts();
  uint64_t size_;
  const uint64_t max_bytes_;
  const trace::Form form_;
  std::atomic<bool> recording_{true};
};

/// Traces every later call through `library` when `settings` names a file; nothing otherwise.
void StartTrace(PassThruLibrary& library, const TraceSettings& settings,
                const std::string& library_path);

}  // namespace tarnix::j2534
