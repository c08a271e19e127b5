// Loopback echoes end to end: however late it asks, ReadMessagesWithLoopback gets every echo the
// device sent, and ReadMessages leaves them out: for K-Line sends and periodic messages, whose
// echoes no echo list of sent frames hides, and for the frames that the pump and the direct read
// share.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "platform/process.h"
#include "ptsim_session.h"
#include "scenario_rows.h"

namespace tarnix::e2e {
namespace {

// Long enough for several pump cycles: the device's echoes have left it by then.
constexpr uint32_t kPauseMs = 110;

TEST(Loopback, EchoesOfKLineSendsReachOnlyReadMessagesWithLoopback) {
  PtsimSession session;
  session.Open(passthru::kIso14230);
  ASSERT_EQ(session.Call("SetLoopback", R"({"enabled":true})").Data(), "null");
  ASSERT_EQ(
      session.Call("SendMessage", R"({"arb_id":0,"data":[129,16,241,62],"extended":false})").Data(),
      "null");
  platform::SleepMilliseconds(kPauseMs);
  const Reply echo = session.Call("ReadMessagesWithLoopback", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(echo.data(), R"([{"data":[129,16,241,62],"rxStatus":1,"protocolId":4}])"))
      << echo.line();
  // The K-Line ECU answers nothing: all the device received is the echo.
  ASSERT_EQ(
      session.Call("SendMessage", R"({"arb_id":0,"data":[129,16,241,62],"extended":false})").Data(),
      "null");
  platform::SleepMilliseconds(kPauseMs);
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":0})").Data(), "[]");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Loopback, EveryEchoOfAPeriodicMessageReachesOnlyReadMessagesWithLoopback) {
  PtsimSession session;
  session.Open(passthru::kCan);
  ASSERT_EQ(session.Call("SetLoopback", R"({"enabled":true})").Data(), "null");
  // 0x123: an identifier the ECU does not answer.
  ASSERT_TRUE(session
                  .Call("StartPeriodicMessage",
                        R"({"arb_id":291,"data":[1,2,3],"interval_ms":20,"extended":false})")
                  .ok());
  platform::SleepMilliseconds(kPauseMs);
  const Reply echoes = session.Call("ReadMessagesWithLoopback", R"({"timeout_ms":0})");
  ASSERT_TRUE(echoes.data().IsArray()) << echoes.line();
  const auto frames = echoes.data().GetArray();
  ASSERT_GE(frames.Size(), 3u) << echoes.line();
  for (rapidjson::SizeType i = 0; i < frames.Size(); ++i) {
    EXPECT_TRUE(Matches(frames[i], R"({"arbId":291,"data":[1,2,3],"rxStatus":1})")) << i;
    // One echo for each transmission: none is missing between the first and the last.
    if (i > 0) {
      EXPECT_EQ(frames[i]["timestampUs"].GetUint64() - frames[i - 1]["timestampUs"].GetUint64(),
                20000u)
          << echoes.line();
    }
  }
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":50})").Data(), "[]");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Loopback, ReadMessagesWithLoopbackShowsEveryPlainEchoThatReadMessagesLeavesOut) {
  platform::EnvironmentChanges env = OneFramePump();
  env.emplace_back("PTSIM_ECHO", "plain");
  PtsimSession session(env);
  session.Open(passthru::kIso15765);
  // The pump keeps the first echo, marked; the other two stay on the device.
  EXPECT_EQ(session
                .Call("SendMessagesBatch",
                      R"({"messages":[[291,[1],false],[292,[2],false],[293,[3],false]]})")
                .Data(),
            "3");
  const Reply direct = session.Call("ReadMessagesWithLoopback", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(direct.data(), R"([
      {"arbId":291,"extended":false,"data":[1],"rawArbId":291,"rxStatus":0,"dataSize":5},
      {"arbId":292,"extended":false,"data":[2],"rawArbId":292,"rxStatus":0,"dataSize":5},
      {"arbId":293,"extended":false,"data":[3],"rawArbId":293,"rxStatus":0,"dataSize":5}])"))
      << direct.line();
  // Through the pump the same kind of frames never reach ReadMessages.
  EXPECT_EQ(
      session.Call("SendMessagesBatch", R"({"messages":[[294,[4],false],[295,[5],false]]})").Data(),
      "2");
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":0})").Data(), "[]");
  const LoggedCalls calls = session.Log();
  const auto reads = CallsOf(calls, "PassThruReadMsgs");
  ASSERT_FALSE(reads.empty());
  EXPECT_TRUE(Matches(*reads.back(), R"({"count":1,"msgs":[{"data":"0000012705"}]})"));
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Loopback, ReadMessagesWithLoopbackGetsEveryTransmitEchoAndLeavesTheOtherFrames) {
  PtsimSession session(OneFramePump());
  session.Open(passthru::kIso15765);
  CheckRows(
      session,
      {
          {"SetLoopback", R"({"enabled":true})", Data("null"), {}},
          // Device queue: the echo, then the ECU's answer. The pump keeps the echo, marked ...
          {"SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})", Data("null"), {}},
          // ... and after this request takes the answer into the receive buffer.
          {"GetDataRate", "", Data("500000"), {}},
          // The pump keeps the first echo; the second stays on the device.
          {"SendMessagesBatch", R"({"messages":[[291,[1],false],[292,[2],false]]})", Data("2"), {}},
          {"ReadMessagesWithLoopback",
           R"({"timeout_ms":0})",
           DataLike(R"([{"arbId":2015,"data":[1,12],"rxStatus":1,"dataSize":6},
                        {"arbId":291,"data":[1],"rxStatus":1,"dataSize":5},
                        {"arbId":292,"data":[2],"rxStatus":1,"dataSize":5}])"),
           {}},
          {"ReadMessages",
           R"({"timeout_ms":0})",
           DataLike(std::string("[") + kEngineSpeedReply + "]"),
           {}},
      });
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
