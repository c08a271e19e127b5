// Diagnostic lines: one line per event, written whole, to standard error unless a test captures
// them.
#pragma once

#include <string_view>

namespace tarnix {

/// Receives diagnostic lines. Implementations must accept calls from any thread.
class LogSink {
 public:
  virtual ~LogSink() = default;
  /// `line` has no line terminator.
  virtual void Write(std::string_view line) = 0;
};

/// Writes one diagnostic line (a "\n" is added) to the installed sink, or to standard error.
void LogLine(std::string_view line);

/// Installs `sink` (nullptr restores standard error) and returns the previous one. Intended for
/// tests, which capture the lines that the code under test writes.
LogSink* SetLogSink(LogSink* sink);

}  // namespace tarnix
