// Test support: captures the diagnostic lines written while an object of it lives.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"

namespace tarnix {

/// Installs itself as the log sink for its lifetime and collects every line, from any thread.
class CapturedLog final : public LogSink {
 public:
  CapturedLog() : previous_(SetLogSink(this)) {}
  ~CapturedLog() override { SetLogSink(previous_); }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  void Write(std::string_view line) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  }

  /// The lines so far, in the order written.
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  LogSink* previous_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace tarnix
