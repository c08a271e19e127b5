// Buffered reading of request lines from the pipe, of any length.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tarnix::main {

/// Reads up to `size` bytes into `buffer`; 0 means end of input.
using ByteSource = std::function<Result<size_t>(char* buffer, size_t size)>;

/// One line as read: its bytes without the line feed (a view into the reader, valid until its
/// next call), and whether a line feed ended it.
struct LineView {
  std::string_view text;
  bool had_line_feed = false;
};

/// Splits a byte stream into lines, reading 8192 bytes at a time. A line is held once, in the
/// reader's own buffer, which grows with the line and is given back after a long one.
class LineReader {
 public:
  static constexpr size_t kBufferSize = 8192;

  explicit LineReader(ByteSource source) : source_(std::move(source)) {}

  /// The next line; nullopt at the end of input with nothing read. The error is the read failure's
  /// text, or "stream did not contain valid UTF-8"; the bytes of that line are then discarded.
  /// Throws when memory for the line runs out; SkipLine() then drops the rest of it.
  Result<std::optional<LineView>> Next();

  /// Gives back the memory of the line last returned when it was long (its text is invalid from
  /// now on). Lines ahead of it that were already read are kept.
  void ReleaseLine();

  /// Discards what is held of the line being read and the rest of it up to its line feed, which
  /// the next call to Next() reads past.
  void SkipLine();

  /// One read from the source, appended to what is held, without taking a line: what arrives
  /// while a request is handled shows as a next line begun (NextLineBegun). An end of input or a
  /// read failure is kept for Next() to report once the lines before it are taken.
  void Prefetch();

  /// Whether bytes after the line last returned are held (a next line has begun to arrive).
  bool NextLineBegun() const { return start_ < buffer_.size() && !skipping_; }

  /// Whether the source reported its end or a failure (Prefetch keeps it for Next()).
  bool SourceEnded() const { return ended_ || failure_.has_value(); }

 private:
  /// Moves the unread bytes to the start of the buffer.
  void Compact();

  /// Appends one read of the source (or what Prefetch kept) to the buffer: the byte count, 0 at
  /// the end.
  Result<size_t> ReadMore();

  ByteSource source_;
  std::string buffer_;
  size_t start_ = 0;              // first unread byte
  bool skipping_ = false;         // the bytes up to the next line feed belong to a skipped line
  bool ended_ = false;            // the source reported its end (Prefetch)
  std::optional<Error> failure_;  // the source failed (Prefetch)
};

/// The request text of a line: the line feed already removed, then one carriage return before it.
/// A last line without a line feed keeps its carriage return.
std::string_view RequestText(const LineView& line);

}  // namespace tarnix::main
