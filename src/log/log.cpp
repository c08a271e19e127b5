// Routes diagnostic lines to standard error or to an installed sink.
#include "log/log.h"

#include <atomic>
#include <string>

#include "platform/standard_error.h"

namespace tarnix {
namespace {
std::atomic<LogSink*> g_sink{nullptr};
}  // namespace

void LogLine(std::string_view line) {
  if (LogSink* sink = g_sink.load(std::memory_order_acquire)) {
    sink->Write(line);
    return;
  }
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line);
  whole.push_back('\n');
  platform::WriteStandardError(whole);
}

LogSink* SetLogSink(LogSink* sink) {
  return g_sink.exchange(sink, std::memory_order_acq_rel);
}

}  // namespace tarnix
