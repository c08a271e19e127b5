// Buffered reading of request lines from the pipe, of any length.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "common/result.h"

namespace tarnix::main {

/// Reads up to `size` bytes into `buffer`; 0 means end of input.
using ByteSource = std::function<Result<size_t>(char* buffer, size_t size)>;

/// One line as read: its bytes without the line feed, and whether a line feed ended it.
struct RawLine {
  std::string text;
  bool had_line_feed = false;
};

/// Splits a byte stream into lines, reading 8192 bytes at a time.
class LineReader {
 public:
  static constexpr size_t kBufferSize = 8192;

  explicit LineReader(ByteSource source) : source_(std::move(source)) {}

  /// The next line; nullopt at the end of input with nothing read. The error is the read failure's
  /// text, or "stream did not contain valid UTF-8"; the bytes of that line are then discarded.
  Result<std::optional<RawLine>> Next();

 private:
  ByteSource source_;
  std::string buffer_;
  size_t start_ = 0;
};

/// The request text of a line: the line feed already removed, then one carriage return before it.
/// A last line without a line feed keeps its carriage return.
std::string_view RequestText(const RawLine& line);

}  // namespace tarnix::main
