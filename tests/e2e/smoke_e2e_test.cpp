// One whole session per library form in one bridge process: the scenarios that run where each
// process start is slow (the 32-bit build under emulation), so every entry point's calling
// convention and record layout is crossed at least once there.
#include <gtest/gtest.h>

#include <string>

#include "passthru/numbers.h"
#include "ptsim_session.h"
#include "scenario_rows.h"

namespace tarnix::e2e {
namespace {

class Smoke : public ::testing::TestWithParam<const char*> {};

TEST_P(Smoke, WalksASessionFromOpenToShutdown) {
  const std::string library = GetParam();
  const bool form_0500 = library == "ptsim0500";
  const char* write_fn = form_0500 ? "PassThruQueueMsgs" : "PassThruWriteMsgs";
  std::string oversize = R"({"arb_id":2016,"extended":false,"data":[1)";
  for (int i = 1; i < 4125; ++i)
    oversize += ",0";
  oversize += "]}";
  const std::string versions =
      R"j({"firmwareVersion":"ptsim firmware 1.0","dllVersion":"ptsim 1.0 ()j" + library +
      R"j()","apiVersion":")j" + (form_0500 ? "05.00" : "04.04") + "\"}";

  PtsimSession session;
  session.Open(passthru::kIso15765, 0, library);
  CheckRows(
      session,
      {
          {"SendMessage",
           R"({"arb_id":2016,"data":[1,12],"extended":false})",
           Data("null"),
           {{write_fn, "", R"({"channelId":2,"count":1,"ret":0})"}}},
          {"ReadMessages",
           R"({"timeout_ms":500})",
           DataLike(R"([{"arbId":2024,"extended":false,"data":[65,12,26,248]}])"),
           {}},
          {"SendMessage",
           oversize.c_str(),
           Fails(
               "ERR_J2534_MSG_TOO_LONG: 4125 data bytes, at most 4124 fit a message of protocol 6"),
           {NotCalled(write_fn)}},
          {"ReadVersion", "", Data(versions), {{"PassThruReadVersion", "", R"({"ret":0})"}}},
          {"AddFilter",
           R"({"filter_type":"block","mask":[7,232],"pattern":[7,232],"extended":false})",
           Data("2"),
           {{"PassThruStartMsgFilter", "", R"({"channelId":2,"filterType":2,"ret":0})"}}},
          {"StartPeriodicMessage",
           R"({"arb_id":2015,"data":[62,128],"interval_ms":100,"extended":false})",
           Data("1"),
           {{"PassThruStartPeriodicMsg", "", R"({"channelId":2,"interval":100,"ret":0})"}}},
          {"StopPeriodicMessage",
           R"({"msg_id":1})",
           Data("null"),
           {{"PassThruStopPeriodicMsg", "", R"({"msgId":1,"ret":0})"}}},
          {"Close",
           "",
           Data("null"),
           {{"PassThruDisconnect", "", R"({"ret":0})"}, {"PassThruClose", "", R"({"ret":0})"}}},
          {"Shutdown", "", Data("null"), {}},
      });
  EXPECT_EQ(LastFns(session.Log(), 1), std::vector<std::string>{"unload"});
  EXPECT_EQ(session.bridge().WaitExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothForms, Smoke, ::testing::Values("ptsim0404", "ptsim0500"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace tarnix::e2e
