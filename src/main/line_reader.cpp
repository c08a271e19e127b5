// Line splitting over a byte source, with the UTF-8 check applied to each whole line.
#include "main/line_reader.h"

#include <utility>

#include "common/text.h"

namespace tarnix::main {
namespace {

/// A buffer grown beyond this by a long line is given back once the line is done with.
constexpr size_t kKeptCapacity = size_t{1} << 20;

}  // namespace

Result<std::optional<LineView>> LineReader::Next() {
  size_t scanned = start_;
  for (;;) {
    const size_t lf = buffer_.find('\n', scanned);
    if (skipping_ && lf != std::string::npos) {
      start_ = scanned = lf + 1;
      skipping_ = false;
      continue;
    }
    if (skipping_) {
      buffer_.clear();
      start_ = 0;
    } else if (lf != std::string::npos) {
      const LineView line{std::string_view(buffer_).substr(start_, lf - start_), true};
      start_ = lf + 1;
      if (!IsValidUtf8(line.text)) return Fail("stream did not contain valid UTF-8");
      return std::optional<LineView>(line);
    }
    // Keep only the unread part, so a long stream of short lines does not grow the buffer.
    Compact();
    scanned = buffer_.size();
    Result<size_t> got = ReadMore();
    if (!got) {
      buffer_.clear();
      skipping_ = false;
      return std::move(got).error();
    }
    if (*got == 0) {
      skipping_ = false;
      if (buffer_.empty()) return std::optional<LineView>();
      const LineView line{buffer_, false};
      start_ = buffer_.size();
      if (!IsValidUtf8(line.text)) return Fail("stream did not contain valid UTF-8");
      return std::optional<LineView>(line);
    }
  }
}

Result<size_t> LineReader::ReadMore() {
  if (failure_) return *std::exchange(failure_, std::nullopt);
  if (ended_) return size_t{0};
  const size_t old_size = buffer_.size();
  buffer_.resize(old_size + kBufferSize);
  Result<size_t> got = source_(buffer_.data() + old_size, kBufferSize);
  buffer_.resize(old_size + (got ? *got : 0));
  return got;
}

void LineReader::Prefetch() {
  if (SourceEnded()) return;
  Compact();
  Result<size_t> got = ReadMore();
  if (!got) {
    failure_ = std::move(got).error();
  } else if (*got == 0) {
    ended_ = true;
  }
}

void LineReader::Compact() {
  if (start_ == 0) return;
  buffer_.erase(0, start_);
  start_ = 0;
}

void LineReader::ReleaseLine() {
  if (buffer_.capacity() <= kKeptCapacity) return;
  Compact();
  buffer_.shrink_to_fit();
}

void LineReader::SkipLine() {
  // Nothing held has a line feed, or the line would have been returned: all of it is the line's.
  std::string().swap(buffer_);
  start_ = 0;
  skipping_ = true;
}

std::string_view RequestText(const LineView& line) {
  std::string_view text = line.text;
  if (line.had_line_feed && !text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

}  // namespace tarnix::main
