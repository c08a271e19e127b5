// Unit tests of the rules that need no library: the echo list and the batch timeout.
#include <gtest/gtest.h>

#include <cstdint>

#include "common/fake_clock.h"
#include "j2534/connection.h"
#include "j2534/io.h"
#include "wire/types.h"

namespace tarnix::j2534 {
namespace {

using namespace std::chrono_literals;

TEST(EchoListTest, EntriesLiveForFiveHundredMilliseconds) {
  FakeClock clock;
  EchoList echoes(clock);
  echoes.Add(0x7E0, {0x02, 0x01, 0x00});
  clock.Advance(100ms);
  EXPECT_TRUE(echoes.Cancel(0x7E0, {0x02, 0x01, 0x00}));

  echoes.Add(0x7E0, {0x02, 0x01, 0x00});
  clock.Advance(600ms);
  EXPECT_FALSE(echoes.Cancel(0x7E0, {0x02, 0x01, 0x00}));

  echoes.Add(0x7E0, {0x3E});
  clock.Advance(499ms);
  EXPECT_EQ(echoes.Size(), 1u);
  clock.Advance(1ms);  // exactly 500 ms old: gone
  EXPECT_EQ(echoes.Size(), 0u);
}

TEST(EchoListTest, EachEntryCancelsOneFrameWithTheSameIdentifierAndPayload) {
  FakeClock clock;
  EchoList echoes(clock);
  echoes.Add(0x7E0, {0x01});
  EXPECT_FALSE(echoes.Cancel(0x7E0, {0x01, 0x00}));  // other payload
  EXPECT_FALSE(echoes.Cancel(0x7DF, {0x01}));        // other identifier
  EXPECT_TRUE(echoes.Cancel(0x7E0, {0x01}));
  EXPECT_FALSE(echoes.Cancel(0x7E0, {0x01}));  // the second echo of one send is delivered

  // Matching takes the oldest entry, so the younger one survives longer.
  echoes.Add(0x7E0, {0x01});
  clock.Advance(300ms);
  echoes.Add(0x7E0, {0x01});
  EXPECT_TRUE(echoes.Cancel(0x7E0, {0x01}));
  clock.Advance(250ms);
  EXPECT_EQ(echoes.Size(), 1u);
}

TEST(EchoListTest, BatchEntriesCoverOnlyTheFramesSent) {
  FakeClock clock;
  EchoList echoes(clock);
  std::vector<wire::BatchMessage> batch = {{1, {0xA}, false}, {2, {0xB}, false}, {3, {0xC}, false}};
  echoes.Add(batch, 2);
  EXPECT_EQ(echoes.Size(), 2u);
  EXPECT_FALSE(echoes.Cancel(3, {0xC}));
  echoes.Add(batch, 7);  // a library reporting more than it was given
  EXPECT_EQ(echoes.Size(), 5u);
}

TEST(BatchTimeoutTest, TenMillisecondsPerFrameAtLeastFiveSeconds) {
  const std::pair<size_t, uint32_t> cases[] = {{1, 5000},   {3, 5000},     {500, 5000},
                                               {501, 5010}, {1000, 10000}, {SIZE_MAX, 4294967290u}};
  for (const auto& [count, timeout] : cases)
    EXPECT_EQ(BatchTimeoutMs(count), timeout) << count;
}

}  // namespace
}  // namespace tarnix::j2534
