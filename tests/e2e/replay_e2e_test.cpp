// PTSIM_REPLAY end to end: a session run through the bridge against ptsim, answered again by ptsim
// from nothing but its call log of that session.
#include <gtest/gtest.h>

#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

constexpr uint32_t kIso15765 = 6;

/// Requests after Open: OBD requests and their answers, filters, a periodic message, the battery
/// voltage and configuration, then Close.
const std::pair<const char*, const char*> kRequests[] = {
    {"SendMessage", R"({"arb_id":2015,"data":[1,12],"extended":false})"},
    {"ReadMessages", R"({"timeout_ms":1000})"},
    {"AddFilter",
     R"({"filter_type":"block","mask":[7,232],"pattern":[7,232,0,0,9],"extended":false})"},
    {"StartPeriodicMessage",
     R"({"arb_id":2015,"data":[62,128],"interval_ms":1000,"extended":false})"},
    {"ReadBatteryVoltage", ""},
    {"ReadVersion", ""},
    {"SendMessage", R"({"arb_id":2016,"data":[1,13],"extended":false})"},
    {"ReadMessages", R"({"timeout_ms":1000})"},
    {"GetDataRate", ""},
    {"Close", ""},
};

/// The answers of `session` to kRequests, after its Open on ISO 15765.
std::vector<std::string> Answers(PtsimSession& session) {
  session.Open(kIso15765);
  std::vector<std::string> answers;
  for (const auto& [method, params] : kRequests) {
    answers.push_back(std::string(method) + " " + session.Call(method, params).Data());
  }
  EXPECT_EQ(session.Finish(), 0) << session.bridge().ErrorOutput();
  return answers;
}

TEST(Replay, PtsimAnswersABridgeSessionAgainFromItsCallLog) {
  PtsimSession recording({{"PTSIM_VBATT", "13800"}});
  const std::vector<std::string> recorded = Answers(recording);
  // Both reads found their answer, and the battery voltage was not ptsim's usual one.
  ASSERT_NE(recorded[1].find("[65,12,26,248]"), std::string::npos) << recorded[1];
  ASSERT_NE(recorded[7].find("[65,13,50]"), std::string::npos) << recorded[7];
  ASSERT_EQ(recorded[4], "ReadBatteryVoltage 13.8");

  PtsimSession replay({{"PTSIM_REPLAY", recording.log_path()}});
  EXPECT_EQ(Answers(replay), recorded);
  for (const auto& call : replay.Log()) {
    EXPECT_FALSE(call.HasMember("replay")) << "a call diverged";
  }
}

}  // namespace
}  // namespace tarnix::e2e
