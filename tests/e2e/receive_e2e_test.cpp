// Receiving end to end: the receive pump and buffer between requests, ReadMessages with and
// without waiting, echo suppression, the raw direct read, ClearBuffers and the 29-bit channel.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "ptsim_session.h"
#include "scenario_rows.h"

namespace tarnix::e2e {
namespace {

/// The timeouts of the reads that could wait (timeout above 0), in order.
std::vector<int64_t> WaitingReads(const LoggedCalls& calls) {
  std::vector<int64_t> timeouts;
  for (const rapidjson::Value* read : CallsOf(calls, "PassThruReadMsgs")) {
    if ((*read)["timeout"].GetInt64() > 0) timeouts.push_back((*read)["timeout"].GetInt64());
  }
  return timeouts;
}

/// The sequence numbers of PTSIM_TRAFFIC frames (their payload starts with it, big-endian).
std::vector<uint32_t> TrafficNumbers(const rapidjson::Value& frames) {
  std::vector<uint32_t> numbers;
  if (!frames.IsArray()) return numbers;
  for (const auto& frame : frames.GetArray()) {
    const auto& data = frame["data"];
    uint32_t n = 0;
    for (rapidjson::SizeType i = 0; i < 4 && i < data.Size(); ++i)
      n = (n << 8) | data[i].GetUint();
    numbers.push_back(n);
  }
  return numbers;
}

std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
  std::vector<uint32_t> numbers;
  for (uint32_t n = from; n < to; ++n)
    numbers.push_back(n);
  return numbers;
}

TEST(Receive, ReadMessagesWaitsOnASilentDeviceOnlyWhenAsked) {
  // The bridge waits between reads of the device, never inside one: a waiting read can end as
  // soon as the client's next request arrives.
  PtsimSession session({{"PTSIM_LOG_READS", "1"}});
  session.Open(passthru::kIso15765);
  size_t before = session.LogSize();
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":0})").Data(), "[]");
  EXPECT_TRUE(WaitingReads(session.LogFrom(before)).empty());
  before = session.LogSize();
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":50})").Data(), "[]");
  const LoggedCalls during = session.LogFrom(before);
  EXPECT_TRUE(WaitingReads(during).empty());
  // It looked again after pausing (every 2 ms on an idle machine).
  EXPECT_GE(CallsOf(during, "PassThruReadMsgs").size(), 2u);
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, AWaitingReadMessagesAnswersWhenAFrameArrives) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  // The device asks for engine speed every 100 ms; the ECU answers each time.
  EXPECT_EQ(session
                .Call("StartPeriodicMessage",
                      R"({"arb_id":2015,"data":[1,12],"interval_ms":100,"extended":false})")
                .Data(),
            "1");
  EXPECT_TRUE(session.Call("ReadMessages", R"({"timeout_ms":0})").ok());
  const Reply waited = session.Call("ReadMessages", R"({"timeout_ms":10000})");
  ASSERT_TRUE(waited.ok()) << waited.line();
  ASSERT_TRUE(waited.data().IsArray());
  ASSERT_GE(waited.data().Size(), 1u);
  for (const auto& frame : waited.data().GetArray())
    EXPECT_TRUE(Matches(frame, kEngineSpeedReply));
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, FramesWaitInTheBufferBetweenRequests) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Call("SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})").Data(),
            "null");
  // The pump cycle after the request took the ECU's answer off the device before this request.
  EXPECT_EQ(session.Call("ReadMessagesWithLoopback", R"({"timeout_ms":0})").Data(), "[]");
  const LoggedCalls calls = session.Log();
  const auto reads = CallsOf(calls, "PassThruReadMsgs");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_TRUE(Matches(*reads[0], R"({"count":256,"timeout":0,"countOut":1,
                                     "msgs":[{"data":"000007E8410C1AF8"}]})"));
  const Reply buffered = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(buffered.data(), std::string("[") + kEngineSpeedReply + "]"))
      << buffered.line();
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":0})").Data(), "[]");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, BatchSizeAndDrainReadsLimitOneAnswerAndKeepTheOrder) {
  PtsimSession session({{"PTSIM_TRAFFIC", "30"}});
  session.Open(passthru::kIso15765);  // the 30 frames arrive with the first filter
  const Reply first =
      session.Call("ReadMessages", R"({"timeout_ms":0,"batch_size":10,"max_drain_reads":2})");
  EXPECT_EQ(TrafficNumbers(first.data()), Range(0, 20)) << first.line();
  const Reply second =
      session.Call("ReadMessages", R"({"timeout_ms":0,"batch_size":0,"max_drain_reads":0})");
  EXPECT_EQ(TrafficNumbers(second.data()), Range(20, 21)) << second.line();
  const Reply rest = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_EQ(TrafficNumbers(rest.data()), Range(21, 30)) << rest.line();
  ASSERT_TRUE(rest.data().IsArray());
  EXPECT_TRUE(Matches(rest.data()[0], R"({"arbId":2024,"extended":false,
      "data":[0,0,0,21,0,0,0,0],"rxStatus":0,"dataSize":12,"protocolId":6})"));
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, AFullBufferDropsTheOldestFramesAndSaysSo) {
  PtsimSession session({{"PTSIM_TRAFFIC", "5"}, {"TARNIX_RX_CAPACITY", "3"}});
  session.Open(passthru::kIso15765);
  const Reply kept = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_EQ(TrafficNumbers(kept.data()), Range(2, 5)) << kept.line();
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(session.Finish(), 0);
  const std::string errors = session.bridge().ErrorOutput();
  EXPECT_NE(errors.find("[bridge-worker] RX buffer overflow; dropped 1 frame(s)\n"
                        "[bridge-worker] RX buffer overflow; dropped 2 frame(s)\n"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("[bridge-worker] RX buffer dropped 2 frame(s); high-water mark 3 / 3\n"),
            std::string::npos)
      << errors;
}

TEST(Receive, EchoesOfSentFramesAreSuppressed) {
  // The device returns every sent frame as an ordinary received frame.
  PtsimSession session({{"PTSIM_ECHO", "plain"}});
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Call("SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})").Data(),
            "null");
  const Reply answer = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(answer.data(), std::string("[") + kEngineSpeedReply + "]")) << answer.line();
  // Both frames came from the device; the echo was dropped by the bridge.
  const LoggedCalls calls = session.Log();
  const auto reads = CallsOf(calls, "PassThruReadMsgs");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_TRUE(Matches(*reads[0], R"({"countOut":2,"msgs":[{"rxStatus":0,"data":"000007DF010C"},
                                     {"data":"000007E8410C1AF8"}]})"));
  // A frame nobody answers leaves nothing to read: its echo is dropped as well.
  EXPECT_EQ(session.Call("SendMessage", R"({"arb_id":291,"data":[5],"extended":false})").Data(),
            "null");
  EXPECT_EQ(session.Call("ReadMessages", R"({"timeout_ms":0})").Data(), "[]");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, ReadMessagesRawDiscardsWhatItReadsAndLeavesTheBuffer) {
  PtsimSession session(OneFramePump());
  session.Open(passthru::kIso15765);
  // Two answers arrive; the pump takes the first into the receive buffer.
  EXPECT_EQ(
      session.Call("SendMessagesBatch", R"({"messages":[[2015,[1,12],false],[2015,[1,13],false]]})")
          .Data(),
      "2");
  EXPECT_EQ(session.Call("ReadMessagesRaw", R"({"timeout_ms":0,"max_msgs":0})").Data(),
            R"({"result":0,"numMsgs":1})");
  const LoggedCalls calls = session.Log();
  const auto reads = CallsOf(calls, "PassThruReadMsgs");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_TRUE(Matches(*reads[1], R"({"count":1,"msgs":[{"data":"000007E8410D32"}]})"));
  // The second answer is gone; the first is still buffered.
  const Reply buffered = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(buffered.data(), std::string("[") + kEngineSpeedReply + "]"))
      << buffered.line();
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, ClearBuffersKeepsTheFramesWhenTheTransmitClearFails) {
  PtsimSession session(
      {{"PTSIM_TRAFFIC", "3"}, {"PTSIM_FAIL", "Ioctl.CLEAR_TX_BUFFER@1=ERR_NOT_SUPPORTED"}});
  session.Open(passthru::kIso15765);
  CheckRows(
      session,
      {
          // After this request the pump has moved the three frames into the receive buffer.
          {"GetDataRate", "", Data("500000"), {}},
          {"ClearBuffers",
           "",
           Fails("ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER error code 1 (ERR_NOT_SUPPORTED)"),
           {{"PassThruIoctl", "CLEAR_TX_BUFFER", R"({"injected":true})"},
            NotCalled("PassThruIoctl", "CLEAR_RX_BUFFER")}},
          {"ReadMessages",
           R"({"timeout_ms":0,"batch_size":1,"max_drain_reads":1})",
           DataLike(R"([{"data":[0,0,0,0,0,0,0,0]}])"),
           {}},
          {"ClearBuffers",
           "",
           Data("null"),
           {{"PassThruIoctl", "CLEAR_TX_BUFFER", R"({"ret":0})"},
            {"PassThruIoctl", "CLEAR_RX_BUFFER", R"({"ret":0})"}}},
          {"ReadMessages", R"({"timeout_ms":0})", Data("[]"), {}},
          {"SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})", Data("null"), {}},
          {"ReadMessages",
           R"({"timeout_ms":0})",
           DataLike(std::string("[") + kEngineSpeedReply + "]"),
           {}},
      });
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Receive, TheDedicated29BitChannelReceivesExtendedFrames) {
  PtsimSession session;
  session.Open(passthru::kIso15765, 0x800);
  const LoggedCalls opened = session.Log();
  const auto connects = CallsOf(opened, "PassThruConnect");
  const auto filters = CallsOf(opened, "PassThruStartMsgFilter");
  ASSERT_EQ(connects.size(), 2u);
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_TRUE(Matches(*connects[0], R"({"protocolId":6,"flags":2048,"channelId":2})"));
  EXPECT_TRUE(Matches(*filters[0], R"({"channelId":2,"mask":{"txFlags":0,"data":"00000000"},
                                       "pattern":{"txFlags":0,"data":"00000000"}})"));
  EXPECT_TRUE(Matches(*connects[1], R"({"protocolId":6,"flags":256,"channelId":3})"));
  EXPECT_TRUE(Matches(*filters[1], R"({"channelId":3,"mask":{"txFlags":256,"data":"00000000"},
                                       "pattern":{"txFlags":256,"data":"10DAF110"}})"));
  EXPECT_TRUE(
      session.bridge().WaitForErrorOutput("[j2534] Opened dedicated 29-bit channel (id=3)\n", 0));
  // The ECU answers a 29-bit request from 18DAF110, which only the second channel lets in.
  EXPECT_EQ(
      session.Call("SendMessage", R"({"arb_id":417018865,"data":[1,12],"extended":true})").Data(),
      "null");
  const Reply extended = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(extended.data(), R"([{"arbId":417001744,"extended":true,
      "data":[65,12,26,248],"rawArbId":417001744,"rxStatus":256,"dataSize":8,"protocolId":6}])"))
      << extended.line();
  // 11-bit traffic still arrives on the main channel.
  EXPECT_EQ(session.Call("SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})").Data(),
            "null");
  const Reply normal = session.Call("ReadMessages", R"({"timeout_ms":0})");
  EXPECT_TRUE(Matches(normal.data(), std::string("[") + kEngineSpeedReply + "]")) << normal.line();
  EXPECT_EQ(session.Call("Close").Data(), "null");
  const LoggedCalls closed = session.Log();
  ASSERT_GE(closed.size(), 4u);
  const size_t n = closed.size();
  EXPECT_TRUE(Matches(closed[n - 4], R"({"fn":"PassThruDisconnect","channelId":3})"));
  EXPECT_TRUE(Matches(closed[n - 3], R"({"fn":"PassThruDisconnect","channelId":2})"));
  EXPECT_TRUE(Matches(closed[n - 2], R"({"fn":"PassThruClose","deviceId":1})"));
  EXPECT_TRUE(Matches(closed[n - 1], R"({"fn":"unload"})"));
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
