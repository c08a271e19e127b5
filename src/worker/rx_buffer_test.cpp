// The receive buffer's ring and overflow accounting, one pump cycle, and ReadMessages' taking.
#include "worker/rx_buffer.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "common/fake_clock.h"
#include "log/captured_log.h"
#include "wire/types.h"
#include "worker/rx_pump.h"

namespace tarnix::worker {
namespace {

using wire::ReceivedMessage;

/// Frames numbered first..first+count-1; the number is the timestamp and every one of the `size`
/// data bytes.
std::vector<ReceivedMessage> Frames(uint64_t first, size_t count, size_t size = 1) {
  std::vector<ReceivedMessage> frames;
  for (uint64_t n = first; n < first + count; ++n) {
    ReceivedMessage frame;
    frame.timestamp_us = n;
    frame.arb_id = 0x7E8;
    frame.data.assign(size, static_cast<uint8_t>(n));
    frames.push_back(frame);
  }
  return frames;
}

/// Pushes `frames` in order, as one pump cycle does.
void PushAll(RxBuffer& buffer, std::vector<ReceivedMessage> frames) {
  for (ReceivedMessage& frame : frames)
    buffer.Push(std::move(frame));
}

std::vector<uint64_t> Numbers(const std::vector<ReceivedMessage>& frames) {
  std::vector<uint64_t> numbers;
  for (const ReceivedMessage& frame : frames)
    numbers.push_back(frame.timestamp_us);
  return numbers;
}

std::vector<uint64_t> Range(uint64_t first, uint64_t last) {
  std::vector<uint64_t> numbers;
  for (uint64_t n = first; n <= last; ++n)
    numbers.push_back(n);
  return numbers;
}

std::string OverflowLine(uint64_t dropped) {
  return "[bridge-worker] RX buffer overflow; dropped " + std::to_string(dropped) + " frame(s)";
}

TEST(RxBuffer, OverflowKeepsTheNewestAndReportsAtPowersOfTwo) {
  CapturedLog log;
  RxBuffer buffer(3);
  PushAll(buffer, Frames(1, 5));
  EXPECT_EQ(buffer.dropped(), 2u);
  EXPECT_EQ(buffer.high_water(), 3u);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{OverflowLine(1), OverflowLine(2)}));

  PushAll(buffer, Frames(6, 1));  // dropped 3: no line
  EXPECT_EQ(log.Lines().size(), 2u);
  PushAll(buffer, Frames(7, 6));  // dropped 4..9: lines at 4 and 8
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{OverflowLine(1), OverflowLine(2),
                                                   OverflowLine(4), OverflowLine(8)}));
  EXPECT_EQ(Numbers(buffer.Take(10)), Range(10, 12));
}

TEST(RxBuffer, TheByteBoundDropsTheOldestAsTheFrameBoundDoes) {
  CapturedLog log;
  RxBuffer buffer(100, 10);
  PushAll(buffer, Frames(1, 3, 4));  // the third needs the first one's room
  EXPECT_EQ(buffer.bytes(), 8u);
  EXPECT_EQ(buffer.dropped(), 1u);
  PushAll(buffer, Frames(4, 1, 25));  // larger than the bound: kept, alone
  EXPECT_EQ(buffer.size(), 1u);
  EXPECT_EQ(buffer.bytes(), 25u);
  PushAll(buffer, Frames(5, 2, 5));  // exactly the bound
  EXPECT_EQ(buffer.dropped(), 4u);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{OverflowLine(1), OverflowLine(2), OverflowLine(4)}));
  EXPECT_EQ(Numbers(buffer.Take(1)), Range(5, 5));
  EXPECT_EQ(buffer.bytes(), 5u);
  buffer.ReportAtEnd();
  EXPECT_EQ(log.Lines().back(),
            "[bridge-worker] RX buffer dropped 4 frame(s); high-water mark 2 / 100");
}

TEST(RxBuffer, TheSummaryAppearsOnlyWhenFramesWereDropped) {
  {
    CapturedLog log;
    RxBuffer buffer(3);
    PushAll(buffer, Frames(1, 3));
    buffer.ReportAtEnd();
    EXPECT_TRUE(log.Lines().empty());
  }
  CapturedLog log;
  RxBuffer buffer(3);
  PushAll(buffer, Frames(1, 5));
  buffer.ReportAtEnd();
  EXPECT_EQ(log.Lines().back(),
            "[bridge-worker] RX buffer dropped 2 frame(s); high-water mark 3 / 3");
  PushAll(buffer, Frames(6, 3));
  buffer.ReportAtEnd();
  EXPECT_EQ(log.Lines().back(),
            "[bridge-worker] RX buffer dropped 5 frame(s); high-water mark 3 / 3");
}

TEST(RxBuffer, ReservesAtMost4096AndGrowsWithoutReorderingAWrappedRing) {
  EXPECT_EQ(RxBuffer(10).reserved(), 10u);
  EXPECT_EQ(RxBuffer(65536).reserved(), 4096u);

  CapturedLog log;
  RxBuffer buffer(10000);
  PushAll(buffer, Frames(0, 4000));
  ASSERT_EQ(Numbers(buffer.Take(3000)), Range(0, 2999));  // the ring's start moves forward
  PushAll(buffer, Frames(4000, 5000));                    // wraps, then outgrows 4096
  EXPECT_GT(buffer.reserved(), 4096u);
  EXPECT_LE(buffer.reserved(), 10000u);
  EXPECT_EQ(buffer.size(), 6000u);
  PushAll(buffer, Frames(9000, 5000));  // reaches the capacity and overflows
  EXPECT_EQ(buffer.reserved(), 10000u);
  EXPECT_EQ(buffer.dropped(), 1000u);
  EXPECT_EQ(buffer.high_water(), 10000u);
  EXPECT_EQ(log.Lines().back(), OverflowLine(512));
  EXPECT_EQ(Numbers(buffer.Take(20000)), Range(4000, 13999));
}

TEST(RxBuffer, ALargeTakeOfAWrappedRingHandsItsStorageOverAndKeepsTheRestInOrder) {
  RxBuffer buffer(20000);
  PushAll(buffer, Frames(0, 10000, 2));
  ASSERT_EQ(Numbers(buffer.Take(1000)), Range(0, 999));
  PushAll(buffer, Frames(10000, 7000, 2));  // wraps without growing
  const size_t storage = buffer.reserved();

  const std::vector<ReceivedMessage> taken = buffer.Take(9000);
  EXPECT_EQ(Numbers(taken), Range(1000, 9999));
  EXPECT_EQ(taken.capacity(), storage);  // the frames' records are never held twice
  EXPECT_EQ(buffer.reserved(), 7000u);
  EXPECT_EQ(buffer.bytes(), 14000u);
  EXPECT_EQ(Numbers(buffer.Take(7000)), Range(10000, 16999));
  EXPECT_EQ(buffer.reserved(), 4096u);
  EXPECT_EQ(buffer.bytes(), 0u);
}

TEST(RxBuffer, ClearReleasesFramesButKeepsTheCounters) {
  CapturedLog log;
  RxBuffer buffer(2);
  PushAll(buffer, Frames(1, 3));
  buffer.Clear();
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.dropped(), 1u);
  EXPECT_EQ(buffer.high_water(), 2u);
  PushAll(buffer, Frames(4, 1));
  EXPECT_EQ(Numbers(buffer.Take(5)), (std::vector<uint64_t>{4}));
}

TEST(PumpCycle, ReadFailuresLeaveTheBufferAloneAndAreLoggedOnlyWhenWaiting) {
  CapturedLog log;
  RxBuffer buffer(8);
  PushAll(buffer, Frames(1, 2));
  const DrainFunction failing = [](uint32_t, RxBuffer&) -> Result<void> {
    return Fail("ERR_J2534_READ: error code 9 (ERR_DEVICE_NOT_CONNECTED)");
  };
  PumpCycle(buffer, failing, 0);
  EXPECT_TRUE(log.Lines().empty());
  PumpCycle(buffer, failing, 5);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"[bridge-worker] RX pump error: ERR_J2534_READ: error code 9 "
                                      "(ERR_DEVICE_NOT_CONNECTED)"}));
  EXPECT_EQ(Numbers(buffer.Take(8)), (std::vector<uint64_t>{1, 2}));

  uint32_t asked = 99;
  PumpCycle(
      buffer,
      [&](uint32_t timeout, RxBuffer& into) -> Result<void> {
        asked = timeout;
        PushAll(into, Frames(3, 2));
        return Ok();
      },
      7);
  EXPECT_EQ(asked, 7u);
  EXPECT_EQ(Numbers(buffer.Take(8)), (std::vector<uint64_t>{3, 4}));
}

/// A device that is silent, or sends frames on a chosen cycle, and a clock that moves only when
/// the read pauses (by the pause) or the device is read (by a fixed lag).
struct FakeDevice {
  RxBuffer buffer{100000};
  FakeClock clock;
  Clock::Duration lag{};
  std::vector<uint32_t> timeouts;  // of every read of the device
  std::vector<uint32_t> pauses;    // in whole milliseconds
  size_t frames_on_cycle = 0;      // 1-based; 0 never
  size_t frame_count = 0;

  DrainFunction Drain() {
    return [this](uint32_t timeout, RxBuffer& into) -> Result<void> {
      timeouts.push_back(timeout);
      clock.Advance(std::chrono::milliseconds(timeout) + lag);
      if (timeouts.size() == frames_on_cycle) PushAll(into, Frames(1, frame_count));
      return Ok();
    };
  }
  std::vector<ReceivedMessage> Take(const protocol::ReadMessages& request, Milliseconds poll) {
    const Pause pause = [this](Clock::Duration duration) {
      pauses.push_back(static_cast<uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()));
      clock.Advance(duration);
    };
    return TakeFrames(buffer, Drain(), request, poll, clock, pause);
  }
};

TEST(TakeFrames, PausesInPollSizedStepsWithAOneMillisecondFloorBetweenReadsThatNeverWait) {
  struct Case {
    const char* name;
    uint32_t timeout_ms;
    uint64_t poll_ms;
    Clock::Duration lag;
    std::vector<uint32_t> pauses;
  };
  const Case cases[] = {
      {"no wait requested", 0, 2, {}, {}},
      {"silent for 50 ms", 50, 2, {}, std::vector<uint32_t>(25, 2)},
      {"remainder below the interval", 5, 2, {}, {2, 2, 1}},
      {"remainder below 1 ms", 5, 2, std::chrono::microseconds(300), {2, 2, 1}},
      {"interval longer than the wait", 7, 1000, {}, {7}},
      {"interval beyond the clock", 3, UINT64_MAX, {}, {3}},
  };
  for (const Case& c : cases) {
    FakeDevice device;
    device.lag = c.lag;
    const Clock::TimePoint start = device.clock.Now();
    EXPECT_TRUE(device.Take({c.timeout_ms, 256, 64}, Milliseconds(c.poll_ms)).empty()) << c.name;
    EXPECT_EQ(device.pauses, c.pauses) << c.name;
    // The device is read once before the first pause and once after each.
    EXPECT_EQ(device.timeouts, std::vector<uint32_t>(c.pauses.size() + 1, 0)) << c.name;
    EXPECT_GE(device.clock.Now() - start, std::chrono::milliseconds(c.timeout_ms)) << c.name;
  }
}

TEST(TakeFrames, StopsWaitingOnceFramesArriveAndSkipsTheWaitWhenSomeAreHeld) {
  FakeDevice device;
  device.frames_on_cycle = 3;
  device.frame_count = 4;
  EXPECT_EQ(Numbers(device.Take({50, 256, 64}, Milliseconds(2))), Range(1, 4));
  EXPECT_EQ(device.pauses, (std::vector<uint32_t>{2, 2}));

  FakeDevice holding;
  PushAll(holding.buffer, Frames(1, 1));
  EXPECT_EQ(Numbers(holding.Take({50, 256, 64}, Milliseconds(2))), Range(1, 1));
  EXPECT_EQ(holding.timeouts, (std::vector<uint32_t>{0}));
  EXPECT_TRUE(holding.pauses.empty());
}

TEST(TakeFrames, ReturnsAtMostBatchTimesDrainFramesOldestFirst) {
  struct Case {
    uint32_t batch_size;
    uint32_t max_drain_reads;
    size_t held;
    size_t returned;
  };
  const Case cases[] = {
      {10, 2, 25, 20}, {0, 0, 5, 1}, {1000, 1, 300, 256}, {256, 64, 20000, 16384}, {256, 64, 7, 7},
  };
  for (const Case& c : cases) {
    FakeDevice device;
    PushAll(device.buffer, Frames(1, c.held));
    const auto taken = device.Take({0, c.batch_size, c.max_drain_reads}, Milliseconds(2));
    EXPECT_EQ(Numbers(taken), Range(1, c.returned)) << c.batch_size << "x" << c.max_drain_reads;
    // The rest stay for the next request, in their order.
    EXPECT_EQ(Numbers(device.buffer.Take(c.held)), Range(c.returned + 1, c.held));
  }
}

}  // namespace
}  // namespace tarnix::worker
