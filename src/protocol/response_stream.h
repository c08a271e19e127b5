// Answer lines encoded into one reused buffer and handed on in bounded pieces.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "protocol/response.h"
#include "wire/types.h"

namespace tarnix::protocol {

/// Takes every byte of one piece of text; the error is the failed write's text.
using TextSink = std::function<Result<void>(std::string_view)>;

/// Encodes answers for one connection. A list of frames, however long, is written frame by frame
/// into one buffer that is handed on whenever it holds a piece's worth, so its text is never held
/// whole (it is still one line on the wire). Other answers are small and are encoded whole first.
/// The buffer is kept for the next answer.
class ResponseStream {
 public:
  static constexpr size_t kPieceBytes = size_t{64} << 10;

  explicit ResponseStream(size_t piece_bytes = kPieceBytes) : piece_bytes_(piece_bytes) {}

  /// Writes `response` and its line feed to `sink`, byte for byte as EncodeResponse does, in
  /// pieces of at most about the piece size. Stops at the first failed write and answers its
  /// error. May throw (allocation failure); PartlySent() then tells whether part of the line
  /// already went out.
  Result<void> WriteLine(const Response& response, const TextSink& sink);

  /// Whether the line of the last WriteLine was handed on in part (or whole).
  bool PartlySent() const { return partly_sent_; }

 private:
  Result<void> WriteFrames(uint64_t id, const std::vector<wire::ReceivedMessage>& frames,
                           const TextSink& sink);
  /// Room for `bytes` more characters after the text held.
  char* Room(size_t bytes);
  void Append(std::string_view text);
  /// Hands on the text held, then holds none.
  Result<void> Flush(const TextSink& sink);

  std::string buffer_;  // its size is its room; the first used_ characters are text
  size_t used_ = 0;
  size_t piece_bytes_;
  bool partly_sent_ = false;
};

}  // namespace tarnix::protocol
