// The receive buffer's echoes: held like any frame, left out by Take, taken alone by TakeEchoes.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "wire/types.h"
#include "worker/rx_buffer.h"

namespace tarnix::worker {
namespace {

using wire::ReceivedMessage;

/// Pushes one frame per letter of `kinds`, 'e' an echo and 'f' a frame, numbered from `first`
/// (the number is the timestamp and the one data byte).
void Push(RxBuffer& buffer, uint64_t first, std::string_view kinds) {
  for (char kind : kinds) {
    ReceivedMessage frame;
    frame.timestamp_us = first++;
    frame.data = {static_cast<uint8_t>(frame.timestamp_us)};
    frame.echo = kind == 'e';
    buffer.Push(std::move(frame));
  }
}

std::vector<uint64_t> StampsOf(const std::vector<ReceivedMessage>& frames) {
  std::vector<uint64_t> numbers;
  for (const ReceivedMessage& frame : frames)
    numbers.push_back(frame.timestamp_us);
  return numbers;
}

using Stamps = std::vector<uint64_t>;

TEST(RxBufferEchoes, TakeLeavesEchoesOutAndDiscardsThoseItPassesOrLeavesLast) {
  RxBuffer buffer(100);
  Push(buffer, 1, "efeefefe");
  EXPECT_EQ(buffer.readable(), 3u);
  EXPECT_EQ(buffer.echoes(), 5u);
  EXPECT_EQ(StampsOf(buffer.Take(2)), (Stamps{2, 5}));
  EXPECT_EQ(buffer.size(), 3u);  // 6e 7f 8e
  EXPECT_EQ(StampsOf(buffer.Take(1)), (Stamps{7}));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.bytes(), 0u);

  // Overflow drops echoes like frames; a large take hands its storage over without the echoes.
  RxBuffer small(2);
  Push(small, 1, "eff");
  EXPECT_EQ(small.echoes(), 0u);
  RxBuffer large(10000);
  for (uint64_t n = 0; n < 6000; n += 2)
    Push(large, n, "ef");
  const std::vector<ReceivedMessage> taken = large.Take(2500);
  ASSERT_EQ(taken.size(), 2500u);
  EXPECT_EQ(taken.front().timestamp_us, 1u);
  EXPECT_EQ(taken.back().timestamp_us, 4999u);
  EXPECT_EQ(large.echoes(), 500u);
  EXPECT_EQ(large.readable(), 500u);
}

TEST(RxBufferEchoes, TakeEchoesTakesTheOldestAndKeepsTheOtherFramesInOrder) {
  RxBuffer buffer(6);
  Push(buffer, 1, "ffff");
  ASSERT_EQ(StampsOf(buffer.Take(3)), (Stamps{1, 2, 3}));
  Push(buffer, 5, "efefe");  // the ring wraps
  EXPECT_EQ(StampsOf(buffer.TakeEchoes(2)), (Stamps{5, 7}));
  EXPECT_EQ(buffer.size(), 4u);  // 4f 6f 8f 9e
  EXPECT_EQ(buffer.bytes(), 4u);
  EXPECT_EQ(StampsOf(buffer.TakeEchoes(16)), (Stamps{9}));
  EXPECT_EQ(StampsOf(buffer.TakeEchoes(16)), Stamps{});
  Push(buffer, 10, "e");
  EXPECT_EQ(StampsOf(buffer.Take(16)), (Stamps{4, 6, 8}));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.echoes(), 0u);
}

}  // namespace
}  // namespace tarnix::worker
