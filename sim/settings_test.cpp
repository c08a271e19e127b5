// Tests of the PTSIM_* controls: fault rules and the environment variables.
#include <map>

#include <gtest/gtest.h>

#include "sim/settings.h"

namespace tarnix::sim {
namespace {

TEST(FaultRuleTest, ParsesEveryForm) {
  struct Case {
    const char* text;
    const char* function;
    const char* ioctl;
    uint32_t nth;
    uint32_t code;
  };
  const Case cases[] = {
      {"PassThruConnect=7", "PassThruConnect", "", 0, 7},
      {"Connect@2=ERR_DEVICE_NOT_CONNECTED", "PassThruConnect", "", 2, 8},
      {" PassThruIoctl.CLEAR_TX_BUFFER = 0x01 ", "PassThruIoctl", "CLEAR_TX_BUFFER", 0, 1},
      {"Ioctl.FAST_INIT@3=26", "PassThruIoctl", "FAST_INIT", 3, 26},
      {"PassThruQueueMsgs=0", "PassThruQueueMsgs", "", 0, 0},
  };
  for (const Case& c : cases) {
    std::string problem;
    const auto rule = ParseFaultRule(c.text, problem);
    ASSERT_TRUE(rule) << c.text << ": " << problem;
    EXPECT_EQ(rule->function, c.function) << c.text;
    EXPECT_EQ(rule->ioctl, c.ioctl) << c.text;
    EXPECT_EQ(rule->nth, c.nth) << c.text;
    EXPECT_EQ(rule->code, c.code) << c.text;
  }
}

TEST(FaultRuleTest, RejectsMalformedRules) {
  for (const char* text : {"PassThruConnect", "Connect=seven", "Conect=1", "Ioctl.NOPE=1",
                           "Open.GET_CONFIG=1", "Connect@0=1", "Connect@x=1", "=7", "@2=7"}) {
    std::string problem;
    EXPECT_FALSE(ParseFaultRule(text, problem)) << text;
    EXPECT_FALSE(problem.empty()) << text;
  }
}

EnvFn FakeEnv(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) -> std::optional<std::string> {
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

TEST(SettingsTest, DefaultsWithoutVariables) {
  std::vector<std::string> problems;
  const Settings s = ReadSettings(FakeEnv({}), problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(s.keywords, (std::vector<uint8_t>{0x08, 0x08}));
  EXPECT_EQ(s.vbatt_mv, 12600u);
  EXPECT_FALSE(s.last_error);
  EXPECT_FALSE(s.no_cc || s.log_reads || s.traffic.endless);
  EXPECT_EQ(s.plain_echoes, 0u);
  EXPECT_EQ(s.traffic.count, 0u);
  EXPECT_FALSE(s.strict || s.misbehave.loader_thread);
  EXPECT_EQ(s.unload_delay_ms, 2000u);
}

TEST(SettingsTest, ReadsEveryVariable) {
  std::vector<std::string> problems;
  const Settings s = ReadSettings(FakeEnv({{"PTSIM_LOG", "/tmp/x.log"},
                                           {"PTSIM_LOG_READS", "1"},
                                           {"PTSIM_FAIL", "Connect=7;;Ioctl.READ_VBATT@2=1"},
                                           {"PTSIM_LAST_ERROR", ""},
                                           {"PTSIM_ECHO", "plain"},
                                           {"PTSIM_KEYWORDS", "8F, e9,0x55"},
                                           {"PTSIM_NO_CC", "1"},
                                           {"PTSIM_VBATT", "13800"},
                                           {"PTSIM_TRAFFIC", "5:18DAF110"},
                                           {"PTSIM_MISBEHAVE", "five_baud_40,loader_thread"},
                                           {"PTSIM_STRICT", "yes"},
                                           {"PTSIM_UNLOAD_DELAY_MS", "250"}}),
                                  problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(s.log_path, "/tmp/x.log");
  EXPECT_TRUE(s.log_reads && s.no_cc);
  EXPECT_EQ(s.plain_echoes, 1u);
  ASSERT_EQ(s.faults.size(), 2u);
  EXPECT_EQ(s.faults[1].ioctl, "READ_VBATT");
  EXPECT_EQ(s.last_error, "");  // set but empty: GetLastError answers an empty text
  EXPECT_EQ(s.keywords, (std::vector<uint8_t>{0x8F, 0xE9, 0x55}));
  EXPECT_EQ(s.vbatt_mv, 13800u);
  EXPECT_EQ(s.traffic.count, 5u);
  EXPECT_EQ(s.traffic.id, 0x18DAF110u);
  EXPECT_TRUE(s.misbehave.five_baud_40 && s.misbehave.loader_thread);
  EXPECT_FALSE(s.misbehave.read_count_overflow);
  EXPECT_TRUE(s.strict);
  EXPECT_EQ(s.unload_delay_ms, 250u);
}

TEST(SettingsTest, UnusableValuesKeepDefaultsAndAreReported) {
  std::vector<std::string> problems;
  const Settings s = ReadSettings(FakeEnv({{"PTSIM_FAIL", "Connect=7;Nope=1"},
                                           {"PTSIM_ECHO", "loud"},
                                           {"PTSIM_KEYWORDS", "8F,XYZ"},
                                           {"PTSIM_VBATT", "12.6"},
                                           {"PTSIM_TRAFFIC", "lots"},
                                           {"PTSIM_MISBEHAVE", "explode"},
                                           {"PTSIM_UNLOAD_DELAY_MS", "2s"}}),
                                  problems);
  EXPECT_EQ(problems.size(), 7u);
  EXPECT_EQ(s.unload_delay_ms, 2000u);
  EXPECT_EQ(s.faults.size(), 1u);
  EXPECT_EQ(s.plain_echoes, 0u);
  EXPECT_EQ(s.keywords, (std::vector<uint8_t>{0x08, 0x08}));
  EXPECT_EQ(s.vbatt_mv, 12600u);
  EXPECT_EQ(s.traffic.count, 0u);
  EXPECT_EQ(ReadSettings(FakeEnv({{"PTSIM_TRAFFIC", "endless"}}), problems).traffic.endless, true);
  EXPECT_EQ(ReadSettings(FakeEnv({{"PTSIM_ECHO", "plain:3"}}), problems).plain_echoes, 3u);
  EXPECT_TRUE(ReadSettings(FakeEnv({{"PTSIM_KEYWORDS", ""}}), problems).keywords.empty());
  EXPECT_EQ(ReadSettings(FakeEnv({{"PTSIM_ECHO", "plain:0"}}), problems).plain_echoes, 0u);
}

}  // namespace
}  // namespace tarnix::sim
