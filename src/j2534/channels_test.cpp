// The device alone, its name, further channels with their J1962 pins, the bound on channels and
// the teardown of them all, against ptsim.
#include "j2534/channels.h"

#include <gtest/gtest.h>

#include "j2534/connect.h"
#include "j2534/filters.h"
#include "j2534/ptsim_fixture.h"

namespace tarnix::j2534 {
namespace {

class ChannelsTest : public PtsimTest {
 protected:
  static Result<Connection, PassThruError> DeviceAlone(
      std::string_view base, std::optional<std::string> name = std::nullopt) {
    ConnectParameters parameters{LibraryPath(base)};
    parameters.device_name = std::move(name);
    return RunConnectionSequence(parameters);
  }
};

TEST_F(ChannelsTest, TheDeviceAloneIsOpenedByItsNameOrTheFirstOne) {
  {
    auto named = DeviceAlone("ptsim0404", "ptsim");
    ASSERT_TRUE(named) << named.error().text;
    EXPECT_EQ(named->main(), nullptr);
  }
  EXPECT_EQ(FnsFrom("PassThruOpen"),
            (std::vector<std::string>{"PassThruOpen", "PassThruClose", "unload"}));
  const std::vector<Call> opens = CallsOf("PassThruOpen");
  EXPECT_EQ(Str(opens[0], "name"), "ptsim");

  auto unknown = DeviceAlone("ptsim0500", "other");
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().text,
            "ERR_J2534_OPEN_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED) - PassThruOpen: no "
            "device named \"other\"");
  EXPECT_EQ(unknown.error().j2534_status(), 8u);
}

TEST_F(ChannelsTest, PinsAreSetRightAfterTheConnectInEachForm) {
  for (const char* base : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(base);
    ClearCalls();
    Env("PTSIM_STRICT", "1");
    ConnectParameters open{LibraryPath(base), passthru::kIso15765Ps, kBaud};
    open.j1962_pins = wire::Bytes{6, 14};
    auto connection = RunConnectionSequence(open);
    ASSERT_TRUE(connection) << connection.error().text;
    const std::vector<std::string> fns = FnsFrom("PassThruConnect");
    const std::vector<Call> connects = CallsOf("PassThruConnect");
    ASSERT_FALSE(connects.empty());
    if (std::string_view(base) == "ptsim0404") {
      ASSERT_GE(fns.size(), 3u);
      EXPECT_EQ(fns[1], "PassThruIoctl");
      const std::vector<Call> ioctls = CallsOf("PassThruIoctl");
      const Call& pins = ioctls.front();
      EXPECT_EQ(Str(pins, "ioctl"), "SET_CONFIG");
      EXPECT_EQ(pins["input"][0]["parameter"].GetUint(), 0x8001u);
      EXPECT_EQ(pins["input"][0]["value"].GetUint(), 0x060Eu);
    } else {
      EXPECT_EQ(connects[0]["resource"]["resources"][0].GetUint(), 6u);
      EXPECT_EQ(connects[0]["resource"]["resources"][1].GetUint(), 14u);
    }
    EXPECT_EQ(fns[fns[1] == "PassThruIoctl" ? 2 : 1], "PassThruStartMsgFilter");

    // Another pin-switched channel; its pins refused disconnect it again.
    ChannelParameters second{passthru::kIso15765Ps, kBaud, 0, wire::Bytes{6, 14}, true};
    auto id = ConnectChannel(*connection, second);
    ASSERT_TRUE(id) << id.error().text;
    EXPECT_EQ(*id, 3u);
    EXPECT_NE(connection->FindChannel(3), nullptr);
    if (std::string_view(base) == "ptsim0404") {
      second.j1962_pins = wire::Bytes{4, 5};
      auto refused = ConnectChannel(*connection, second);
      ASSERT_FALSE(refused);
      EXPECT_EQ(refused.error().j2534_status(), 19u);
      const std::vector<std::string> all = Fns();
      EXPECT_EQ(std::vector<std::string>(all.end() - 2, all.end()),
                (std::vector<std::string>{"PassThruGetLastError", "PassThruDisconnect"}));
    }
  }
}

TEST_F(ChannelsTest, AStrictPinSwitchedChannelCarriesNothingBeforeItsPins) {
  Env("PTSIM_STRICT", "1");
  auto connection = DeviceAlone("ptsim0404");
  ASSERT_TRUE(connection);
  auto id = ConnectChannel(*connection, {passthru::kIso15765Ps, kBaud, 0, std::nullopt, true});
  ASSERT_TRUE(id);
  auto filter = AddFilter(Port(*connection, *connection->FindChannel(*id)), "pass", {0, 0, 0, 0},
                          {0, 0, 0, 0}, false);
  ASSERT_FALSE(filter);
  EXPECT_EQ(filter.error().j2534_status(), 19u);
  auto pins = ConnectChannel(*connection, {passthru::kIso15765Ps, kBaud, 0, wire::Bytes{6}, true});
  EXPECT_EQ(pins.error().text, "ERR_J2534_J1962_PINS_FAILED: j1962_pins holds 2 pins, not 1");
}

TEST_F(ChannelsTest, ChannelsAreBoundedDisconnectedAndAllReleasedBeforeTheDevice) {
  {
    std::optional<Connection> connection =
        Open("ptsim0404", passthru::kCan, 0x800);  // main and 29-bit
    ASSERT_TRUE(connection);
    auto k_line = ConnectChannel(*connection, {passthru::kIso9141, 10400, 0, std::nullopt, true});
    ASSERT_TRUE(k_line);
    ASSERT_TRUE(DisconnectChannel(*connection, *connection->FindChannel(*k_line)));
    EXPECT_EQ(connection->FindChannel(*k_line), nullptr);
    Env("PTSIM_FAIL", "Connect=ERR_FAILED");
    ClearCalls();
    // Without fault injection ptsim itself stops at 8; the bridge's own bound is counted here.
    while (connection->channel_count() < kChannelLimit) {
      connection->AddChannel(100 + static_cast<uint32_t>(connection->channel_count()),
                             passthru::kCan, false);
    }
    auto beyond = ConnectChannel(*connection, {passthru::kCan, kBaud, 0, std::nullopt, true});
    ASSERT_FALSE(beyond);
    EXPECT_EQ(beyond.error().text,
              "ERR_J2534_CONNECT_FAILED: at most 16 channels can be connected at once");
    EXPECT_EQ(beyond.error().j2534_status(), 12u);
    EXPECT_TRUE(CallsOf("PassThruConnect").empty());
    ClearCalls();
  }
  // Every channel in the order connected (the 29-bit one before its main channel), then the device.
  std::vector<int64_t> disconnected;
  for (const Call& call : CallsOf("PassThruDisconnect"))
    disconnected.push_back(Num(call, "channelId"));
  ASSERT_GE(disconnected.size(), 3u);
  EXPECT_EQ(disconnected[0], 3);
  EXPECT_EQ(disconnected[1], 2);
  EXPECT_EQ(disconnected[2], 100 + 2);
  const std::vector<std::string> fns = Fns();
  EXPECT_EQ(std::vector<std::string>(fns.end() - 2, fns.end()),
            (std::vector<std::string>{"PassThruClose", "unload"}));
}

}  // namespace
}  // namespace tarnix::j2534
