// The channel's closing rules, ordering, bounds and deadlines.
#include "worker/channel.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tarnix::worker {
namespace {

TEST(Channel, DeliversInOrderAndReportsClosedOnlyAfterTheQueueIsEmpty) {
  auto [sender, receiver] = MakeChannel<int>(kUnbounded);
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(sender.Send(i));
  sender.Reset();
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(receiver.Receive(), i);
  EXPECT_EQ(receiver.Receive(), std::nullopt);
  EXPECT_EQ(receiver.ReceiveUntil(SteadyClock().Now() + std::chrono::hours(1)).status,
            ReceiveStatus::kClosed);
}

TEST(Channel, ClosesWhenTheLastOfSeveralProducersIsReleased) {
  auto [sender, receiver] = MakeChannel<int>(kUnbounded);
  std::optional<Sender<int>> copy(sender);
  sender.Reset();
  EXPECT_EQ(receiver.ReceiveUntil(SteadyClock().Now()).status, ReceiveStatus::kTimedOut);
  ASSERT_TRUE(copy->Send(7));
  copy.reset();
  EXPECT_EQ(receiver.Receive(), 7);
  EXPECT_EQ(receiver.Receive(), std::nullopt);
}

TEST(Channel, ReleasingTheProducerWakesABlockedConsumer) {
  auto [sender, receiver] = MakeChannel<std::string>(1);
  std::optional<std::string> received{"untouched"};
  std::thread consumer([&, &rx = receiver] { received = rx.Receive(); });
  sender.Reset();
  consumer.join();
  EXPECT_EQ(received, std::nullopt);
}

TEST(Channel, ADeadlineThatPassesIsReportedAsATimeOut) {
  auto [sender, receiver] = MakeChannel<int>(kUnbounded);
  const Receipt<int> receipt =
      receiver.ReceiveUntil(SteadyClock().Now() + std::chrono::milliseconds(1));
  EXPECT_EQ(receipt.status, ReceiveStatus::kTimedOut);
  EXPECT_FALSE(receipt.message.has_value());
  ASSERT_TRUE(sender.Send(3));
  const Receipt<int> ready = receiver.ReceiveUntil(SteadyClock().Now() - std::chrono::seconds(1));
  EXPECT_EQ(ready.status, ReceiveStatus::kMessage) << "a queued message beats a past deadline";
  EXPECT_EQ(ready.message, 3);
}

TEST(Channel, SendFailsOnceTheConsumerIsGoneAndReleasesWhatItCarried) {
  // A message that carries another channel's producer, as a command carries its reply side.
  auto [outer_sender, outer_receiver] = MakeChannel<Sender<int>>(kUnbounded);
  auto [queued_sender, queued_receiver] = MakeChannel<int>(1);
  auto [rejected_sender, rejected_receiver] = MakeChannel<int>(1);

  ASSERT_TRUE(outer_sender.Send(std::move(queued_sender)));
  outer_receiver.Reset();
  EXPECT_FALSE(outer_sender.Send(std::move(rejected_sender)));

  // Both carried producers were released: the queued one with the consumer, the other by the
  // failed send. Their consumers therefore see closed channels instead of waiting forever.
  EXPECT_EQ(queued_receiver.Receive(), std::nullopt);
  EXPECT_EQ(rejected_receiver.Receive(), std::nullopt);
}

TEST(Channel, ABoundedChannelMakesTheSenderWaitForRoom) {
  auto [sender, receiver] = MakeChannel<int>(1);
  std::thread producer([&, tx = std::move(sender)]() mutable {
    for (int i = 0; i < 100; ++i)
      ASSERT_TRUE(tx.Send(i));
  });
  std::vector<int> received;
  while (std::optional<int> value = receiver.Receive())
    received.push_back(*value);
  producer.join();
  ASSERT_EQ(received.size(), 100u);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(received[i], i);
}

TEST(Channel, ASenderWaitingForRoomFailsWhenTheConsumerLeaves) {
  auto [sender, receiver] = MakeChannel<int>(1);
  ASSERT_TRUE(sender.Send(1));
  bool second = true;
  std::thread producer([&, &tx = sender] { second = tx.Send(2); });
  receiver.Reset();
  producer.join();
  EXPECT_FALSE(second);
}

}  // namespace
}  // namespace tarnix::worker
