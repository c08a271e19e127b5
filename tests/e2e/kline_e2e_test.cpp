// K-Line initialisation end to end: FastInit, FiveBaudInit and the three KlineInit modes on both
// K-Line protocols, and their failures.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "ptsim_session.h"
#include "scenario_rows.h"

namespace tarnix::e2e {
namespace {

// ptsim's ECU answers a fast init (C1 33 F1 81 66 by default) with 83 F1 10 C1 EF 8F, a 5-baud
// init with the keyword bytes 08 08, and then sends the byte CC.
const char kFastAnswer[] = R"({"arbId":0,"extended":false,"data":[131,241,16,193,239,143],
    "rawArbId":0,"rxStatus":0,"dataSize":6})";
const char kCcFrame[] = R"({"arbId":0,"extended":false,"data":[204],"rxStatus":0,"dataSize":1})";

class KLine : public ::testing::TestWithParam<uint32_t> {};

TEST_P(KLine, EveryInitialisationSucceeds) {
  const uint32_t protocol = GetParam();
  const std::string five_baud_answer =
      R"([{"timestampUs":0,"arbId":0,"extended":false,"data":[8,8],"rawArbId":0,"rxStatus":0,)"
      R"("dataSize":2,"protocolId":)" +
      std::to_string(protocol) + "}]";
  const std::string fast_result = std::string(R"({"initMethod":"fast",
      "detectedProtocol":"iso14230-fast","keywordBytes":[],"ccReceived":false,
      "initResponse":[)") + kFastAnswer +
                                  "]}";
  PtsimSession session;
  session.Open(protocol);
  CheckRows(
      session,
      {
          {"FastInit",
           R"({"data":[193,51,241,129,102]})",
           DataLike(std::string("[") + kFastAnswer + "]"),
           {{"PassThruIoctl", "FAST_INIT",
             (R"({"handle":2,"ret":0,"input":{"protocol":)" + std::to_string(protocol) +
              R"(,"txFlags":0,"dataSize":5,"data":"C133F18166"}})")
                 .c_str()}}},
          {"FiveBaudInit",
           R"({"data":[51]})",
           Data(five_baud_answer),
           {{"PassThruIoctl", "FIVE_BAUD_INIT",
             R"({"handle":2,"input":{"numOfBytes":1,"data":"33"},"outputCapacity":16,"ret":0})"}}},
          // Outside KlineInit nobody waits for the CC byte: the pump puts it in the buffer.
          {"ReadMessages", R"({"timeout_ms":0})", DataLike(std::string("[") + kCcFrame + "]"), {}},
          {"KlineInit",
           R"({"init_mode":"fast"})",
           DataLike(fast_result),
           {{"PassThruIoctl", "FAST_INIT", R"({"input":{"data":"C133F18166"}})"},
            NotCalled("PassThruIoctl", "FIVE_BAUD_INIT")}},
          {"KlineInit",
           R"({"init_mode":"slow"})",
           DataLike(std::string(R"({"initMethod":"slow","detectedProtocol":"iso9141",
               "keywordBytes":[8,8],"ccReceived":true,"initResponse":[
               {"timestampUs":0,"data":[8,8],"dataSize":2},)") +
                    kCcFrame + "]}"),
           {{"PassThruIoctl", "FIVE_BAUD_INIT", R"({"input":{"data":"33"}})"},
            NotCalled("PassThruIoctl", "FAST_INIT")}},
          {"KlineInit",
           R"({"init_mode":"auto","fast_init_data":[129,16,241,129,3]})",
           DataLike(R"({"initMethod":"fast","initResponse":[{"data":[131,241,16,193,239,143]}]})"),
           {{"PassThruIoctl", "FAST_INIT", R"({"input":{"data":"8110F18103"}})"},
            NotCalled("PassThruIoctl", "FIVE_BAUD_INIT")}},
          // A CC time-out of 0 does not wait: the CC byte is left to the pump.
          {"KlineInit",
           R"({"init_mode":"slow","five_baud_address":[1],"cc_timeout_ms":0})",
           DataLike(R"({"initMethod":"slow","keywordBytes":[8,8],"ccReceived":false,
               "initResponse":[{"data":[8,8]}]})"),
           {{"PassThruIoctl", "FIVE_BAUD_INIT", R"({"input":{"numOfBytes":1,"data":"01"}})"}}},
          {"ReadMessages", R"({"timeout_ms":0})", DataLike(std::string("[") + kCcFrame + "]"), {}},
      });
  EXPECT_EQ(session.Finish(), 0);
  const std::string errors = session.bridge().ErrorOutput();
  EXPECT_NE(errors.find("[j2534] kline_slow_init_with_cc: protocol=iso9141 cc=true "
                        "extra_frames=1\n"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("[j2534] kline_slow_init_with_cc: protocol=iso9141 cc=false "
                        "extra_frames=0\n"),
            std::string::npos)
      << errors;
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, KLine,
                         ::testing::Values(passthru::kIso9141, passthru::kIso14230),
                         [](const auto& info) {
                           return info.param == passthru::kIso9141 ? "Iso9141" : "Iso14230";
                         });

TEST(KLineInit, SlowInitReportsTheKeywordsProtocolAndAMissingCc) {
  PtsimSession session({{"PTSIM_KEYWORDS", "8F,E9"}, {"PTSIM_NO_CC", "1"}});
  session.Open(passthru::kIso14230);
  const Reply reply = session.Call(
      "KlineInit", R"({"init_mode":"slow","five_baud_address":[51],"cc_timeout_ms":60})");
  EXPECT_TRUE(Matches(reply.data(), R"({"initMethod":"slow","detectedProtocol":"iso14230-slow",
      "keywordBytes":[143,233],"ccReceived":false,"initResponse":[{"data":[143,233]}]})"))
      << reply.line();
  EXPECT_EQ(session.Finish(), 0);
  EXPECT_NE(
      session.bridge().ErrorOutput().find(
          "[j2534] kline_slow_init_with_cc: protocol=iso14230-slow cc=false extra_frames=0\n"),
      std::string::npos)
      << session.bridge().ErrorOutput();
}

TEST(KLineInit, FailuresCarryTheLibrarysTextAndAutoFallsBackToSlow) {
  // FAST_INIT fails on its first three calls, FIVE_BAUD_INIT on its first and third.
  PtsimSession session({{"PTSIM_FAIL",
                         "Ioctl.FAST_INIT@1=ERR_FAILED;Ioctl.FAST_INIT@2=ERR_FAILED;"
                         "Ioctl.FAST_INIT@3=ERR_FAILED;Ioctl.FIVE_BAUD_INIT@1=ERR_TIMEOUT;"
                         "Ioctl.FIVE_BAUD_INIT@3=ERR_INVALID_MSG"}});
  session.Open(passthru::kIso14230);
  const std::string fast_failure =
      "ERR_J2534_FAST_INIT_FAILED: error code 7 (ERR_FAILED) - "
      "PassThruIoctl: failure injected by PTSIM_FAIL (ERR_FAILED 7)";
  CheckRows(
      session,
      {
          {"FastInit",
           R"({"data":[193,51,241,129,102]})",
           Fails(fast_failure),
           {{"PassThruIoctl", "FAST_INIT", R"({"injected":true})"}}},
          {"FiveBaudInit",
           R"({"data":[51]})",
           Fails("ERR_J2534_FIVE_BAUD_INIT_FAILED: error code 9 (ERR_TIMEOUT) - "
                 "PassThruIoctl: failure injected by PTSIM_FAIL (ERR_TIMEOUT 9)"),
           {{"PassThruIoctl", "FIVE_BAUD_INIT", R"({"injected":true})"}}},
          // Fast mode has no fallback.
          {"KlineInit",
           R"({"init_mode":"fast"})",
           Fails(fast_failure),
           {NotCalled("PassThruIoctl", "FIVE_BAUD_INIT")}},
          {"KlineInit",
           R"({"init_mode":"auto"})",
           DataLike(R"({"initMethod":"slow","detectedProtocol":"iso9141","ccReceived":true})"),
           {{"PassThruIoctl", "FAST_INIT", R"({"injected":true})"},
            {"PassThruIoctl", "FIVE_BAUD_INIT", R"({"ret":0})"}}},
          {"KlineInit",
           R"({"init_mode":"slow"})",
           Fails("ERR_J2534_FIVE_BAUD_INIT_FAILED: error code 10 (ERR_INVALID_MSG) - "
                 "PassThruIoctl: failure injected by PTSIM_FAIL (ERR_INVALID_MSG 10)"),
           {NotCalled("PassThruIoctl", "FAST_INIT")}},
          // The device's own refusal, with its reason.
          {"FastInit",
           R"({"data":[]})",
           Fails("ERR_J2534_FAST_INIT_FAILED: error code 10 (ERR_INVALID_MSG) - "
                 "PassThruIoctl: FAST_INIT needs a request message"),
           {{"PassThruIoctl", "FAST_INIT", R"({"input":{"dataSize":0},"ret":10})"}}},
      });
  EXPECT_EQ(session.Finish(), 0);
  EXPECT_NE(session.bridge().ErrorOutput().find(
                "[j2534] kline_init auto: fast init failed: " + fast_failure + "\n"),
            std::string::npos)
      << session.bridge().ErrorOutput();
}

TEST(KLineInit, AnEmptyFastInitAnswerFailsInBothFormsAndAutoTriesTheSlowInit) {
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(library);
    PtsimSession session({{"PTSIM_MISBEHAVE", "fast_init_empty"}});
    session.Open(passthru::kIso14230, 0, library);
    EXPECT_EQ(session.Call("FastInit", R"({"data":[193,51,241,129,102]})").Error(),
              "ERR_J2534_FAST_INIT_FAILED: empty response");
    const Reply reply = session.Call("KlineInit", R"({"init_mode":"auto"})");
    EXPECT_TRUE(Matches(reply.data(), R"({"initMethod":"slow","detectedProtocol":"iso9141"})"))
        << reply.line();
    EXPECT_EQ(session.Finish(), 0);
  }
}

}  // namespace
}  // namespace tarnix::e2e
