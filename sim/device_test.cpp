// Tests of the simulated device: reads, echoes, the ECU on the bus, periodic messages, K-Line.
#include <thread>

#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "sim/device.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

Frame Message(uint32_t protocol, Bytes data, uint32_t tx_flags = 0) {
  Frame frame;
  frame.protocol = protocol;
  frame.tx_flags = tx_flags;
  frame.data = std::move(data);
  return frame;
}

/// A device on a clock the test advances by hand; reads use timeout 0 on it.
class DeviceTest : public ::testing::Test {
 protected:
  void Open() {
    uint32_t id = 0;
    ASSERT_EQ(device_.Open(std::make_shared<const Settings>(settings_), id).code, 0u);
    ASSERT_EQ(id, 1u);
  }
  uint32_t Connect(uint32_t protocol, uint32_t flags = 0) {
    uint32_t channel = 0;
    EXPECT_EQ(device_.Connect(1, protocol, flags, 500000, channel).code, 0u);
    return channel;
  }
  void PassAll(uint32_t channel, uint32_t protocol, bool extended = false) {
    const Bytes zero(passthru::IsCanLike(protocol) ? 4 : 1, 0);
    uint32_t id = 0;
    const uint32_t flags = extended ? passthru::kCan29BitId : 0;
    ASSERT_EQ(device_
                  .StartFilter(channel, passthru::kPassFilter, Message(protocol, zero, flags),
                               Message(protocol, zero, flags), nullptr, id)
                  .code,
              0u);
  }
  std::vector<Frame> ReadAll(uint32_t channel) {
    std::vector<Frame> frames;
    device_.Read(channel, 1000, 0, frames);
    return frames;
  }
  void Write(uint32_t channel, const Frame& frame) {
    size_t sent = 0;
    ASSERT_EQ(device_.Write(channel, {frame}, sent).code, 0u);
    ASSERT_EQ(sent, 1u);
  }

  Settings settings_;
  Clock::time_point now_ = Clock::time_point{} + std::chrono::hours(1);
  Device device_{[this] { return now_; }};
};

TEST_F(DeviceTest, ReceivesNothingUntilAPassFilterMatches) {
  Open();
  const uint32_t channel = Connect(passthru::kIso15765);
  std::vector<Frame> frames;
  Write(channel, Message(passthru::kIso15765, WithId(0x7DF, {0x01, 0x0C})));
  EXPECT_EQ(device_.Read(channel, 16, 0, frames).code, passthru::kErrBufferEmpty);
  PassAll(channel, passthru::kIso15765);
  Write(channel, Message(passthru::kIso15765, WithId(0x7DF, {0x01, 0x0C})));
  frames = ReadAll(channel);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data, WithId(0x7E8, {0x41, 0x0C, 0x1A, 0xF8}));
  EXPECT_EQ(frames[0].rx_status, 0u);
  EXPECT_EQ(frames[0].protocol, passthru::kIso15765);
}

TEST(DeviceClockTest, ReadTimesOutOnARealClock) {
  Device device;
  uint32_t id = 0;
  uint32_t channel = 0;
  ASSERT_TRUE(device.Open(std::make_shared<const Settings>(), id).ok());
  ASSERT_TRUE(device.Connect(id, passthru::kCan, 0, 500000, channel).ok());
  std::vector<Frame> frames;
  EXPECT_EQ(device.Read(channel, 4, 20, frames).code, passthru::kErrTimeout);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(device.Read(channel + 7, 4, 0, frames).code, passthru::kErrInvalidChannelId);
}

TEST(DeviceClockTest, AWaitingReadWakesWhenAFrameArrives) {
  Device device;
  uint32_t id = 0;
  uint32_t channel = 0;
  uint32_t filter = 0;
  ASSERT_TRUE(device.Open(std::make_shared<const Settings>(), id).ok());
  ASSERT_TRUE(device.Connect(id, passthru::kIso15765, 0, 500000, channel).ok());
  const Frame zero = Message(passthru::kIso15765, {0, 0, 0, 0});
  ASSERT_TRUE(device.StartFilter(channel, passthru::kPassFilter, zero, zero, nullptr, filter).ok());
  std::thread writer([&] {
    std::this_thread::sleep_for(milliseconds(20));
    size_t sent = 0;
    device.Write(channel, {Message(passthru::kIso15765, WithId(0x7DF, {0x01, 0x0D}))}, sent);
  });
  std::vector<Frame> frames;
  const Status status = device.Read(channel, 4, 60000, frames);
  writer.join();
  EXPECT_TRUE(status.ok());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data, WithId(0x7E8, {0x41, 0x0D, 0x32}));
}

TEST_F(DeviceTest, EchoesFollowLoopbackOrPlainEcho) {
  Open();
  const uint32_t channel = Connect(passthru::kCan, passthru::kCanIdBoth);
  PassAll(channel, passthru::kCan);
  const Frame request = Message(passthru::kCan, WithId(0x7E0, {0x02, 0x01, 0x0D}));
  Write(channel, request);
  EXPECT_EQ(ReadAll(channel).size(), 1u);  // the answer only: LOOPBACK starts at 0
  ASSERT_TRUE(device_.SetConfig(channel, passthru::kLoopback, 1).ok());
  Write(channel, request);
  Write(channel,
        Message(passthru::kCan, WithId(0x18DA10F1, {0x02, 0x01, 0x0D}), passthru::kCan29BitId));
  auto frames = ReadAll(channel);
  ASSERT_EQ(frames.size(), 3u);  // the 29-bit answer is not let in by an 11-bit filter
  EXPECT_EQ(frames[0].rx_status, passthru::kTxMsgType);
  EXPECT_EQ(frames[0].data, request.data);
  EXPECT_EQ(frames[1].data, WithId(0x7E8, {0x03, 0x41, 0x0D, 0x32, 0xAA, 0xAA, 0xAA, 0xAA}));
  EXPECT_EQ(frames[2].rx_status, passthru::kTxMsgType | passthru::kCan29BitId);

  settings_.plain_echoes = 2;
  ASSERT_TRUE(device_.Close(1).ok());
  Open();
  const uint32_t plain = Connect(passthru::kCan);
  PassAll(plain, passthru::kCan);
  Write(plain, Message(passthru::kCan, WithId(0x123, {0x01})));
  frames = ReadAll(plain);
  ASSERT_EQ(frames.size(), 2u);
  for (const Frame& echo : frames) {
    EXPECT_EQ(echo.rx_status, 0u);
    EXPECT_EQ(echo.data, WithId(0x123, {0x01}));
  }
}

TEST_F(DeviceTest, DedicatedChannelReceivesThe29BitAnswers) {
  Open();
  const uint32_t main = Connect(passthru::kIso15765, passthru::kCanIdBoth);
  const uint32_t extended = Connect(passthru::kIso15765, passthru::kCan29BitId);
  EXPECT_EQ(extended, main + 1);
  PassAll(main, passthru::kIso15765);
  PassAll(extended, passthru::kIso15765, true);
  Write(main,
        Message(passthru::kIso15765, WithId(0x18DB33F1, {0x01, 0x0C}), passthru::kCan29BitId));
  Write(main, Message(passthru::kIso15765, WithId(0x7DF, {0x01, 0x0D})));
  const auto on_main = ReadAll(main);
  const auto on_extended = ReadAll(extended);
  ASSERT_EQ(on_main.size(), 1u);
  EXPECT_EQ(on_main[0].data, WithId(0x7E8, {0x41, 0x0D, 0x32}));
  ASSERT_EQ(on_extended.size(), 1u);
  EXPECT_EQ(on_extended[0].data, WithId(0x18DAF110, {0x41, 0x0C, 0x1A, 0xF8}));
  EXPECT_EQ(on_extended[0].rx_status, passthru::kCan29BitId);
}

TEST_F(DeviceTest, PeriodicMessagesGoOutAtTheirInterval) {
  Open();
  const uint32_t channel = Connect(passthru::kIso15765);
  PassAll(channel, passthru::kIso15765);
  ASSERT_TRUE(device_.SetConfig(channel, passthru::kLoopback, 1).ok());
  now_ += milliseconds(5);
  uint32_t id = 0;
  ASSERT_TRUE(device_
                  .StartPeriodic(channel, Message(passthru::kIso15765, WithId(0x7E0, {0x3E, 0x00})),
                                 100, id)
                  .ok());
  now_ += milliseconds(250);
  auto frames = ReadAll(channel);
  ASSERT_EQ(frames.size(), 6u);  // at 5, 105 and 205 ms: the echo, then the ECU's 7E 00
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(frames[2 * i].rx_status, passthru::kTxMsgType);
    EXPECT_EQ(frames[2 * i].timestamp, 5000u + 100000u * i);
    EXPECT_EQ(frames[2 * i + 1].data, WithId(0x7E8, {0x7E, 0x00}));
  }
  ASSERT_TRUE(device_.StopPeriodic(channel, id).ok());
  now_ += milliseconds(500);
  EXPECT_TRUE(ReadAll(channel).empty());
  EXPECT_EQ(device_.StopPeriodic(channel, id).code, passthru::kErrInvalidMsgId);
}

TEST_F(DeviceTest, RefusesBadPeriodicMessages) {
  Open();
  const uint32_t channel = Connect(passthru::kCan);
  const Frame good = Message(passthru::kCan, WithId(0x7E0, {0x02, 0x3E, 0x00}));
  uint32_t id = 0;
  EXPECT_EQ(device_.StartPeriodic(channel, good, 4, id).code, passthru::kErrInvalidTimeInterval);
  EXPECT_EQ(device_.StartPeriodic(channel, good, 65536, id).code,
            passthru::kErrInvalidTimeInterval);
  EXPECT_EQ(device_.StartPeriodic(channel, Message(passthru::kIso15765, good.data), 100, id).code,
            passthru::kErrMsgProtocolId);
  EXPECT_EQ(device_.StartPeriodic(channel, Message(passthru::kCan, Bytes(13, 0)), 100, id).code,
            passthru::kErrInvalidMsg);
  for (size_t i = 0; i < kPeriodicLimit; ++i) {
    ASSERT_TRUE(device_.StartPeriodic(channel, good, 1000, id).ok());
  }
  EXPECT_EQ(device_.StartPeriodic(channel, good, 1000, id).code, passthru::kErrExceededLimit);
  ASSERT_TRUE(device_.Clear(channel, passthru::kClearPeriodicMsgs).ok());
  EXPECT_TRUE(device_.StartPeriodic(channel, good, 1000, id).ok());
}

TEST_F(DeviceTest, KLineWakeUps) {
  settings_.keywords = {0x8F, 0xE9};
  Open();
  const uint32_t channel = Connect(passthru::kIso9141);
  PassAll(channel, passthru::kIso9141);
  Bytes keywords;
  ASSERT_TRUE(device_.FiveBaudInit(channel, {0x33}, keywords).ok());
  EXPECT_EQ(keywords, (Bytes{0x8F, 0xE9}));
  const auto frames = ReadAll(channel);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data, Bytes{0xCC});
  Frame response;
  ASSERT_TRUE(
      device_
          .FastInit(channel, Message(passthru::kIso9141, {0xC1, 0x33, 0xF1, 0x81, 0x66}), response)
          .ok());
  EXPECT_EQ(response.data, (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F}));
  const uint32_t can = Connect(passthru::kCan);
  EXPECT_EQ(device_.FiveBaudInit(can, {0x33}, keywords).code, passthru::kErrInvalidIoctlId);
  EXPECT_EQ(device_.FastInit(can, Message(passthru::kCan, {0xC1}), response).code,
            passthru::kErrInvalidIoctlId);
}

TEST_F(DeviceTest, NoCcFrameWhenSwitchedOff) {
  settings_.no_cc = true;
  Open();
  const uint32_t channel = Connect(passthru::kIso14230);
  PassAll(channel, passthru::kIso14230);
  Bytes keywords;
  ASSERT_TRUE(device_.FiveBaudInit(channel, {0x33}, keywords).ok());
  EXPECT_TRUE(ReadAll(channel).empty());
}

TEST_F(DeviceTest, TrafficArrivesWithTheFirstFilter) {
  settings_.traffic.count = 3;
  Open();
  const uint32_t channel = Connect(passthru::kCan);
  const uint32_t kline = Connect(passthru::kIso14230);
  EXPECT_TRUE(ReadAll(channel).empty());
  PassAll(channel, passthru::kCan);
  PassAll(kline, passthru::kIso14230);
  const auto frames = ReadAll(channel);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[2].data, WithId(0x7E8, {0, 0, 0, 2, 0, 0, 0, 0}));
  EXPECT_TRUE(ReadAll(kline).empty());
  std::vector<Frame> some;
  PassAll(channel, passthru::kCan);  // only the first filter releases traffic
  EXPECT_EQ(device_.Read(channel, 2, 0, some).code, passthru::kErrBufferEmpty);
}

TEST_F(DeviceTest, EndlessTrafficFillsEveryRead) {
  settings_.traffic.endless = true;
  Open();
  const uint32_t channel = Connect(passthru::kIso15765);
  std::vector<Frame> frames;
  ASSERT_TRUE(device_.Read(channel, 256, 0, frames).ok());
  EXPECT_EQ(frames.size(), 256u);
  EXPECT_EQ(FrameId(frames[255].data), 0x7E8u);
}

TEST_F(DeviceTest, ChannelsAndConfiguration) {
  Open();
  uint32_t id = 0;
  EXPECT_EQ(device_.Open(std::make_shared<const Settings>(), id).code, passthru::kErrDeviceInUse);
  uint32_t channel = 0;
  EXPECT_EQ(device_.Connect(1, 7, 0, 10400, channel).code, passthru::kErrInvalidProtocolId);
  EXPECT_EQ(device_.Connect(2, passthru::kCan, 0, 500000, channel).code,
            passthru::kErrInvalidDeviceId);
  channel = Connect(passthru::kIso14230);
  uint32_t value = 99;
  ASSERT_TRUE(device_.GetConfig(channel, passthru::kDataRate, value).ok());
  EXPECT_EQ(value, 500000u);
  ASSERT_TRUE(device_.GetConfig(channel, passthru::kLoopback, value).ok());
  EXPECT_EQ(value, 0u);
  ASSERT_TRUE(device_.SetConfig(channel, 0x1E, 8).ok());
  ASSERT_TRUE(device_.GetConfig(channel, 0x1E, value).ok());
  EXPECT_EQ(value, 8u);
  ASSERT_TRUE(device_.ReadVoltage(1, passthru::kReadVbatt, false, value).ok());
  EXPECT_EQ(value, 12600u);
  ASSERT_TRUE(device_.SetProgrammingVoltage(1, 15, 18000).ok());
  ASSERT_TRUE(device_.ReadVoltage(channel, passthru::kReadProgVoltage, false, value).ok());
  EXPECT_EQ(value, 18000u);
  EXPECT_EQ(device_.SetProgrammingVoltage(1, 7, 18000).code, passthru::kErrPinInvalid);
  ASSERT_TRUE(device_.Disconnect(channel).ok());
  EXPECT_EQ(device_.Disconnect(channel).code, passthru::kErrInvalidChannelId);
  ASSERT_TRUE(device_.Close(1).ok());
  EXPECT_EQ(device_.Close(1).code, passthru::kErrInvalidDeviceId);
}

}  // namespace
}  // namespace tarnix::sim
