// Recording and replaying end to end: a session run through the bridge against ptsim, recorded by
// the bridge (TARNIX_TRACE) and by ptsim (its call log), then answered again by ptsim from nothing
// but either recording.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "ptsim_session.h"
#include "tests/support/temp_folder.h"

namespace tarnix::e2e {
namespace {

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
  session.Open(passthru::kIso15765);
  std::vector<std::string> answers;
  for (const auto& [method, params] : kRequests) {
    answers.push_back(std::string(method) + " " + session.Call(method, params).Data());
  }
  EXPECT_EQ(session.Finish(), 0) << session.bridge().ErrorOutput();
  return answers;
}

/// A session recorded both ways: ptsim's call log and the bridge's trace.
struct Recording {
  test_support::TempFolder folder{"e2e-trace"};
  std::string trace_path = folder.File("bridge.trace");
  PtsimSession session{{"PTSIM_VBATT", "13800"}, {"TARNIX_TRACE", trace_path}};
};

/// The bridge's trace at `path` as the caller's side of ptsim's log: without its connection
/// headers, and each call without "t" and "us" (which every call line must have).
std::vector<std::string> TraceAsCallLog(const std::string& path) {
  std::vector<std::string> calls;
  for (const std::string& line : SplitLines(ReadFileText(path))) {
    rapidjson::Document call = ParseJson(line);
    if (!call.IsObject()) continue;
    if (call.HasMember("fn") && std::string_view(call["fn"].GetString()) == "trace") continue;
    EXPECT_TRUE(call.HasMember("t") && call.HasMember("us")) << line;
    call.EraseMember("t");
    call.EraseMember("us");
    calls.push_back(JsonText(call));
  }
  return calls;
}

TEST(Replay, TheBridgesTraceAndPtsimsCallLogAgreeLineForLine) {
  Recording recording;
  Answers(recording.session);
  std::vector<std::string> logged;
  for (const auto& call : recording.session.Log()) {
    const std::string_view fn = call["fn"].GetString();
    if (fn != "load" && fn != "unload") logged.push_back(JsonText(call));
  }
  ASSERT_GT(logged.size(), 10u);
  EXPECT_EQ(TraceAsCallLog(recording.trace_path), logged);
}

TEST(Replay, PtsimAnswersABridgeSessionAgainFromItsCallLogOrTheBridgesTrace) {
  Recording recording;
  const std::vector<std::string> recorded = Answers(recording.session);
  // Both reads found their answer, and the battery voltage was not ptsim's usual one.
  ASSERT_NE(recorded[1].find("[65,12,26,248]"), std::string::npos) << recorded[1];
  ASSERT_NE(recorded[7].find("[65,13,50]"), std::string::npos) << recorded[7];
  ASSERT_EQ(recorded[4], "ReadBatteryVoltage 13.8");

  for (const std::string& file : {recording.session.log_path(), recording.trace_path}) {
    SCOPED_TRACE(file);
    PtsimSession replay({{"PTSIM_REPLAY", file}});
    EXPECT_EQ(Answers(replay), recorded);
    for (const auto& call : replay.Log()) {
      EXPECT_FALSE(call.HasMember("replay")) << "a call diverged";
    }
  }
}

}  // namespace
}  // namespace tarnix::e2e
