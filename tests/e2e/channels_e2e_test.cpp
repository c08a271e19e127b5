// Several channels over the real pipe, against a conforming (strict) ptsim: a second channel read
// beside Open's, a pin-switched channel with its pins, and a programming voltage set and read back.
#include <gtest/gtest.h>

#include <algorithm>

#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

constexpr uint32_t kIso15765 = 6;

TEST(Channels, ASecondAndAPinSwitchedChannelAreReadBesideOpensAndAllReleased) {
  PtsimSession session({{"PTSIM_STRICT", "1"}});
  session.Open(kIso15765);  // channel 2
  EXPECT_EQ(session.Call("ConnectChannel", R"({"protocol_id":5,"baud_rate":500000})").Data(), "3");
  EXPECT_EQ(
      session
          .Call("ConnectChannel", R"({"protocol_id":32773,"baud_rate":500000,"j1962_pins":[6,14]})")
          .Data(),
      "4");
  const std::string pass = R"("filter_type":"pass","mask":[0,0,0,0],"pattern":[0,0,0,0],)"
                           R"("extended":false)";
  EXPECT_TRUE(session.Call("AddFilter", "{\"channel\":3," + pass + "}").ok());
  EXPECT_TRUE(session.Call("AddFilter", "{\"channel\":4," + pass + "}").ok());

  // ISO 15765 on Open's channel: the answer reaches both channels of that framing on pins 6 and
  // 14; raw CAN on channel 3 gets its single frame alone.
  EXPECT_TRUE(
      session.Call("SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})").ok());
  EXPECT_TRUE(
      session.Call("SendMessage", R"({"channel":3,"arb_id":2015,"data":[2,1,13],"extended":false})")
          .ok());
  EXPECT_TRUE(Matches(session.Call("ReadMessages", R"({"timeout_ms":500})").data(),
                      R"([{"arbId":2024,"data":[65,12,26,248],"protocolId":6}])"));
  EXPECT_TRUE(Matches(session.Call("ReadMessages", R"({"channel":4,"timeout_ms":500})").data(),
                      R"([{"arbId":2024,"data":[65,12,26,248],"protocolId":32773}])"));
  EXPECT_TRUE(Matches(session.Call("ReadMessages", R"({"channel":3,"timeout_ms":500})").data(),
                      R"([{"arbId":2024,"data":[3,65,13,50,170,170,170,170],"protocolId":5}])"));

  EXPECT_EQ(session.Call("SetProgrammingVoltage", R"({"pin":12,"voltage":18000})").Data(), "null");
  EXPECT_EQ(session.Call("ReadProgrammingVoltage").Data(), "18.0");
  const Reply refused = session.Call("SetProgrammingVoltage", R"({"pin":13,"voltage":5000})");
  EXPECT_TRUE(Matches(ParseJson(refused.line()), R"({"j2534Status":19})")) << refused.line();

  // The pins went to channel 4 right after its connect, before its filter.
  const LoggedCalls calls = session.Log();
  const auto connect4 = std::find_if(calls.begin(), calls.end(), [](const auto& call) {
    return Matches(call, R"({"fn":"PassThruConnect","protocolId":32773})");
  });
  ASSERT_NE(connect4, calls.end());
  EXPECT_TRUE(Matches(*(connect4 + 1), R"({"fn":"PassThruIoctl","handle":4,"ioctl":"SET_CONFIG",
                                           "input":[{"parameter":32769,"value":1550}]})"));

  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(LastFns(session.Log(), 5),
            (std::vector<std::string>{"PassThruDisconnect", "PassThruDisconnect",
                                      "PassThruDisconnect", "PassThruClose", "unload"}));
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
