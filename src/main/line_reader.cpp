// Line splitting over a byte source, with the UTF-8 check applied to each whole line.
#include "main/line_reader.h"

#include "common/text.h"

namespace tarnix::main {

Result<std::optional<RawLine>> LineReader::Next() {
  size_t scanned = start_;
  for (;;) {
    if (const size_t lf = buffer_.find('\n', scanned); lf != std::string::npos) {
      RawLine line{buffer_.substr(start_, lf - start_), true};
      start_ = lf + 1;
      if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
      }
      if (!IsValidUtf8(line.text)) return Fail("stream did not contain valid UTF-8");
      return std::optional<RawLine>(std::move(line));
    }
    scanned = buffer_.size();
    // Keep only the unread part, so a long stream of short lines does not grow the buffer.
    if (start_ > 0) {
      buffer_.erase(0, start_);
      scanned -= start_;
      start_ = 0;
    }
    const size_t old_size = buffer_.size();
    buffer_.resize(old_size + kBufferSize);
    Result<size_t> got = source_(buffer_.data() + old_size, kBufferSize);
    if (!got) {
      buffer_.clear();
      return std::move(got).error();
    }
    buffer_.resize(old_size + *got);
    if (*got == 0) {
      if (buffer_.empty()) return std::optional<RawLine>();
      RawLine line{std::move(buffer_), false};
      buffer_.clear();
      if (!IsValidUtf8(line.text)) return Fail("stream did not contain valid UTF-8");
      return std::optional<RawLine>(std::move(line));
    }
  }
}

std::string_view RequestText(const RawLine& line) {
  std::string_view text = line.text;
  if (line.had_line_feed && !text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

}  // namespace tarnix::main
