// The streamed answer: the fast frame text against the general writer, and the pieces it goes in.
#include "protocol/response_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "protocol/frame_text.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

/// Frames whose every field takes its extremes and values around decimal digit boundaries.
std::vector<wire::ReceivedMessage> GeneratedFrames(size_t count) {
  constexpr uint64_t kWide[] = {
      0, 1, 9, 10, 99, 100, 4294967295u, 4294967296u, std::numeric_limits<uint64_t>::max()};
  constexpr uint32_t kNarrow[] = {0, 1, 9, 10, 2024, 0x1FFFFFFF, 0x80000000u, 4294967295u};
  constexpr size_t kLengths[] = {0, 1, 2, 8, 12, 255, 4124, 4128};
  constexpr uint8_t kBytes[] = {0, 1, 9, 10, 99, 100, 199, 200, 255};
  std::mt19937 random(2534);
  const auto pick = [&](const auto& choices) { return choices[random() % std::size(choices)]; };
  std::vector<wire::ReceivedMessage> frames(count);
  for (wire::ReceivedMessage& frame : frames) {
    frame.timestamp_us = pick(kWide);
    frame.arb_id = pick(kNarrow);
    frame.extended = random() % 2 == 0;
    frame.data.resize(pick(kLengths));
    for (uint8_t& byte : frame.data)
      byte = random() % 3 == 0 ? static_cast<uint8_t>(random()) : pick(kBytes);
    frame.raw_arb_id = pick(kNarrow);
    frame.rx_status = pick(kNarrow);
    frame.data_size = pick(kNarrow);
    frame.protocol_id = pick(kNarrow);
  }
  return frames;
}

/// Everything a stream writes for `response`, checking that each piece stays within `limit`.
std::string Streamed(ResponseStream& stream, const Response& response, size_t limit) {
  std::string text;
  const Result<void> written = stream.WriteLine(response, [&](std::string_view piece) {
    EXPECT_LE(piece.size(), limit);
    text.append(piece);
    return Ok();
  });
  EXPECT_TRUE(written.ok());
  return text;
}

TEST(ResponseStream, FramesAreWrittenByteForByteAsTheGeneralWriterDoes) {
  const std::vector<wire::ReceivedMessage> frames = GeneratedFrames(2000);
  for (const wire::ReceivedMessage& frame : frames) {
    char text[FrameTextBound(4128)];
    const std::string fast(text, WriteFrame(text, frame));
    const std::string general =
        EncodeResponse({0, Payload(std::vector<wire::ReceivedMessage>{frame})});
    ASSERT_EQ(R"({"id":0,"status":"ok","data":[)" + fast + "]}", general);
    ASSERT_LE(fast.size(), FrameTextBound(frame.data.size()));
  }
}

TEST(ResponseStream, ALongAnswerGoesOutInBoundedPiecesThatMakeTheWholeLine) {
  constexpr size_t kPiece = 4096;
  ResponseStream stream(kPiece);
  const std::vector<wire::ReceivedMessage> frames = GeneratedFrames(1000);
  // A piece is handed on once it reaches the piece size: at most one frame more.
  const size_t limit = kPiece + FrameTextBound(4128);
  for (const uint64_t id : {uint64_t{0}, std::numeric_limits<uint64_t>::max()}) {
    const Response response{id, Payload(frames)};
    EXPECT_EQ(Streamed(stream, response, limit), EncodeResponse(response) + "\n");
  }
  // The buffer is reused for small answers and for those of other kinds.
  for (const Response& response :
       {Response{7, Payload(std::vector<wire::ReceivedMessage>{})},
        Response{8, RequestFailed("no")}, Response{9, Payload(std::string(3 * kPiece, 'x'))}}) {
    EXPECT_EQ(Streamed(stream, response, kPiece), EncodeResponse(response) + "\n");
  }
}

TEST(ResponseStream, AFailedWriteStopsTheAnswer) {
  ResponseStream stream(1024);
  size_t pieces = 0;
  const Result<void> written =
      stream.WriteLine({1, Payload(GeneratedFrames(500))}, [&](std::string_view) -> Result<void> {
        if (++pieces == 2) return Fail("Broken pipe (os error 32)");
        return Ok();
      });
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().text, "Broken pipe (os error 32)");
  EXPECT_EQ(pieces, 2u);
  EXPECT_TRUE(stream.PartlySent());
}

}  // namespace
}  // namespace tarnix::protocol
