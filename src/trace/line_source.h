// Lines of a trace file, read in bounded pieces: a hostile line of any length costs no more memory
// than the longest line the reader takes.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "common/result.h"
#include "trace/call.h"

namespace tarnix::trace {

/// One line as read: its number (from 1), its text without the line end, and whether it was cut
/// (longer than kMaxLineBytes: the text is dropped) or unterminated (the file's last bytes).
struct RawLine {
  size_t number = 0;
  std::string text;
  bool too_long = false;
  bool terminated = true;
};

/// Reads a stream line by line. Line feeds end lines; a carriage return before one is dropped;
/// blank lines are skipped.
class LineSource {
 public:
  explicit LineSource(std::istream& in) : in_(in) {}

  /// The next non-blank line; false at the end of the stream.
  bool Next(RawLine& line);

 private:
  bool Fill();

  std::istream& in_;
  std::vector<char> buffer_ = std::vector<char>(size_t{1} << 16);
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t number_ = 0;
};

/// The line decoded, or why it is refused (also when it was too long).
Result<Line> DecodeRawLine(const RawLine& line);

}  // namespace tarnix::trace
