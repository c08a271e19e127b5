// Bounded line reading over a stream.
#include "trace/line_source.h"

#include <algorithm>

#include "trace/decode.h"

namespace tarnix::trace {

bool LineSource::Fill() {
  if (!in_) return false;
  in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  begin_ = 0;
  end_ = static_cast<size_t>(in_.gcount());
  return end_ > 0;
}

bool LineSource::Next(RawLine& line) {
  while (true) {
    line = RawLine{};
    line.number = ++number_;
    bool any = false;
    while (true) {
      if (begin_ == end_ && !Fill()) {
        line.terminated = false;
        break;
      }
      any = true;
      const char* start = buffer_.data() + begin_;
      const char* stop = buffer_.data() + end_;
      const char* feed = std::find(start, stop, '\n');
      const size_t piece = static_cast<size_t>(feed - start);
      if (!line.too_long && line.text.size() + piece <= kMaxLineBytes + 1) {
        line.text.append(start, piece);
      } else {
        line.too_long = true;
        line.text.clear();
        line.text.shrink_to_fit();
      }
      begin_ += piece;
      if (feed != stop) {
        ++begin_;
        break;
      }
    }
    if (!any) return false;
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    if (line.text.size() > kMaxLineBytes) {
      line.too_long = true;
      line.text.clear();
    }
    if (line.too_long || line.text.find_first_not_of(" \t") != std::string::npos) return true;
  }
}

Result<Line> DecodeRawLine(const RawLine& line) {
  if (line.too_long) return Fail("longer than " + std::to_string(kMaxLineBytes) + " bytes");
  return DecodeLine(line.text);
}

}  // namespace tarnix::trace
