// The call log: one JSON line per call, appended to the PTSIM_LOG file and flushed at once.
#pragma once

#include <mutex>
#include <string>

namespace tarnix::sim {

/// Writes log lines. Each line is appended to the file and the file closed again, so a test may
/// read (or delete) it at any moment; the lock keeps lines of concurrent calls whole.
class CallLog {
 public:
  /// Appends `line` and a line feed to the file at `path` (UTF-8); nothing when `path` is empty.
  void Write(const std::string& path, const std::string& line);

 private:
  std::mutex mutex_;
};

}  // namespace tarnix::sim
