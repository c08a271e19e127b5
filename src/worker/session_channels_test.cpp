// The J2534 session's channels against ptsim: a buffer of each channel that the pump fills, the
// channel each request names, unbuffered channels, and the channels that are gone.
#include <gtest/gtest.h>

#include <memory>
#include <variant>

#include "j2534/connect.h"
#include "j2534/ptsim_fixture.h"
#include "worker/j2534_session.h"

namespace tarnix::worker {
namespace {

using SessionChannelsTest = j2534::PtsimTest;
using FrameList = std::vector<protocol::ReceivedMessage>;

constexpr uint32_t kCan = 5;

protocol::Payload PayloadOf(protocol::Outcome outcome) {
  auto* payload = std::get_if<protocol::Payload>(&outcome);
  if (payload == nullptr) {
    ADD_FAILURE() << std::get<protocol::Failure>(outcome).message;
    return {};
  }
  return std::move(*payload);
}

uint32_t ConnectedChannel(J2534Session& session, bool buffered) {
  protocol::ConnectChannel connect{kCan, 500000};
  connect.buffered = buffered;
  const protocol::Payload id = PayloadOf(session.Execute(connect));
  protocol::AddFilter pass{"pass", {0, 0, 0, 0}, {0, 0, 0, 0}, false};
  pass.channel = std::get<uint32_t>(id);
  PayloadOf(session.Execute(pass));
  return std::get<uint32_t>(id);
}

TEST_F(SessionChannelsTest, EachChannelHasItsOwnBufferAndUnbufferedOnesWaitInTheDevice) {
  Env("PTSIM_TRAFFIC", "3:123");
  std::optional<j2534::Connection> connection = Open("ptsim0404", kCan);
  ASSERT_TRUE(connection);
  J2534Session session(std::move(*connection), PumpTunables{});
  const uint32_t buffered = ConnectedChannel(session, true);
  const uint32_t direct = ConnectedChannel(session, false);
  session.Pump();
  EXPECT_EQ(session.buffer().size(), 3u) << "Open's channel";

  protocol::ReadMessages read{0};
  read.channel = buffered;
  EXPECT_EQ(std::get<FrameList>(PayloadOf(session.Execute(read))).size(), 3u);
  EXPECT_EQ(session.buffer().size(), 3u) << "untouched by another channel's read";
  protocol::ReadMessagesRaw raw{0, 8, true};
  raw.channel = direct;
  const auto records = std::get<protocol::RawResult>(PayloadOf(session.Execute(raw)));
  EXPECT_EQ(records.num_msgs, 3u) << "the pump left them in the device";

  ASSERT_TRUE(std::holds_alternative<protocol::Payload>(
      session.Execute(protocol::DisconnectChannel{buffered})));
  const auto gone = std::get<protocol::Failure>(session.Execute(read));
  EXPECT_EQ(gone.message,
            "ERR_J2534_INVALID_CHANNEL: channel " + std::to_string(buffered) + " is not connected");
  EXPECT_EQ(gone.j2534_status, 2u);
}

TEST_F(SessionChannelsTest, TheDeviceAloneHasNoDefaultChannelButScansAndSetsVoltages) {
  j2534::ConnectParameters parameters{LibraryPath("ptsim0500")};
  auto connection = j2534::RunConnectionSequence(parameters);
  ASSERT_TRUE(connection);
  J2534Session session(std::move(*connection), PumpTunables{}, {parameters.dll_path});
  const auto none = std::get<protocol::Failure>(session.Execute(protocol::ReadMessages{0}));
  EXPECT_EQ(none.message,
            "ERR_J2534_INVALID_CHANNEL: no channel given, and Open's channel is not connected");
  const auto devices = std::get<std::vector<protocol::ScannedDevice>>(
      PayloadOf(session.Execute(protocol::ScanDevices{parameters.dll_path})));
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].name, "ptsim");
  PayloadOf(session.Execute(protocol::SetProgrammingVoltage{12, 18000}));
  EXPECT_EQ(
      std::get<protocol::Voltage>(PayloadOf(session.Execute(protocol::ReadProgrammingVoltage{})))
          .volts,
      18.0);
}

}  // namespace
}  // namespace tarnix::worker
