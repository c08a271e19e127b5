// Streaming the answer lines: frames written into the reused buffer, pieces handed to the pipe.
#include "protocol/response_stream.h"

#include <algorithm>
#include <charconv>
#include <variant>

#include "protocol/frame_text.h"

namespace tarnix::protocol {
namespace {

/// The buffer is given back when an unusually large frame made it grow beyond this many pieces.
constexpr size_t kKeptPieces = 4;

/// A list of frames as its own payload (K-Line initialisations carry one inside a record).
const std::vector<wire::ReceivedMessage>* FrameList(const Response& response) {
  const auto* payload = std::get_if<Payload>(&response.outcome);
  return payload ? std::get_if<std::vector<wire::ReceivedMessage>>(payload) : nullptr;
}

}  // namespace

Result<void> ResponseStream::WriteLine(const Response& response, const TextSink& sink) {
  partly_sent_ = false;
  used_ = 0;
  Result<void> written = Ok();
  if (const auto* frames = FrameList(response)) {
    written = WriteFrames(response.id, *frames, sink);
  } else {
    std::string text = EncodeResponse(response);
    text += '\n';
    for (std::string_view rest = text; written.ok() && !rest.empty();) {
      const std::string_view piece = rest.substr(0, piece_bytes_);
      rest.remove_prefix(piece.size());
      partly_sent_ = true;
      written = sink(piece);
    }
  }
  used_ = 0;
  if (buffer_.size() > kKeptPieces * piece_bytes_) std::string().swap(buffer_);
  return written;
}

Result<void> ResponseStream::WriteFrames(uint64_t id,
                                         const std::vector<wire::ReceivedMessage>& frames,
                                         const TextSink& sink) {
  // Room for one piece and the frame that crosses its end, or the whole answer when smaller.
  const size_t typical = FrameTextBound(frames.empty() ? 0 : frames.front().data.size());
  Room(std::min(piece_bytes_, frames.size() * typical) + typical + 64);
  Append(R"({"id":)");
  char* number = Room(20);
  used_ = static_cast<size_t>(std::to_chars(number, number + 20, id).ptr - buffer_.data());
  Append(R"(,"status":"ok","data":[)");
  bool first = true;
  for (const wire::ReceivedMessage& frame : frames) {
    if (used_ >= piece_bytes_) {
      if (Result<void> flushed = Flush(sink); !flushed) return flushed;
    }
    char* out = Room(FrameTextBound(frame.data.size()) + 1);
    if (!first) *out++ = ',';
    first = false;
    used_ = static_cast<size_t>(WriteFrame(out, frame) - buffer_.data());
  }
  Append("]}\n");
  return Flush(sink);
}

char* ResponseStream::Room(size_t bytes) {
  if (buffer_.size() - used_ < bytes) buffer_.resize(used_ + bytes);
  return buffer_.data() + used_;
}

void ResponseStream::Append(std::string_view text) {
  std::copy(text.begin(), text.end(), Room(text.size()));
  used_ += text.size();
}

Result<void> ResponseStream::Flush(const TextSink& sink) {
  if (used_ == 0) return Ok();
  partly_sent_ = true;
  const std::string_view text(buffer_.data(), used_);
  used_ = 0;
  return sink(text);
}

}  // namespace tarnix::protocol
