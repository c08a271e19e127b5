// K-Line initialisation against ptsim, checked through its call log and the diagnostic lines.
#include "j2534/kline.h"

#include <gtest/gtest.h>

#include "j2534/io.h"
#include "j2534/ptsim_fixture.h"
#include "passthru/numbers.h"
#include "wire/types.h"

namespace tarnix::j2534 {
namespace {

using KlineTest = PtsimTest;
using wire::KlineInitMode;

TEST_F(KlineTest, FastInitInBothForms) {
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(library);
    std::optional<Connection> connection = Open(library, passthru::kIso14230);
    ASSERT_TRUE(connection);
    ClearCalls();
    auto result =
        KlineInit(*connection, KlineInitMode::Fast, std::nullopt, std::nullopt, std::nullopt);
    ASSERT_TRUE(result.ok()) << result.error().text;
    EXPECT_EQ(result->init_method, "fast");
    EXPECT_EQ(result->detected_protocol, "iso14230-fast");
    EXPECT_TRUE(result->keyword_bytes.empty());
    EXPECT_FALSE(result->cc_received);
    ASSERT_EQ(result->init_response.size(), 1u);
    const wire::ReceivedMessage& response = result->init_response[0];
    EXPECT_EQ(response.data, (wire::Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F}));
    EXPECT_EQ(response.arb_id, 0u);
    EXPECT_EQ(response.data_size, 6u);
    EXPECT_EQ(response.protocol_id, passthru::kIso14230);
    const Call call = std::move(CallsOf("PassThruIoctl").at(0));
    EXPECT_EQ(Str(call, "ioctl"), "FAST_INIT");
    EXPECT_EQ(Num(call, "handle"), 2);
    EXPECT_EQ(Str(call["input"], "data"), "C133F18166");
    EXPECT_EQ(Num(call["input"], "protocol"), passthru::kIso14230);
    EXPECT_EQ(Num(call["input"], "txFlags"), 0);
    EXPECT_EQ(Num(call, "outputCapacity"), 4128);
    EXPECT_EQ(Num(call["input"], "extraDataIndex"), 0);

    // FastInit itself uses the bytes it is given, an empty list included.
    EXPECT_TRUE(FastInit(*connection, {0x81}).ok());
    EXPECT_EQ(Str(CallsOf("PassThruIoctl").back()["input"], "data"), "81");
    auto too_long = FastInit(*connection, wire::Bytes(4129, 0));
    EXPECT_EQ(too_long.error().text,
              "ERR_J2534_MSG_TOO_LONG: 4129 data bytes, at most 4128 fit a message of protocol 4");
    EXPECT_EQ(CallsOf("PassThruIoctl").size(), 2u);
  }
}

TEST_F(KlineTest, AnEmptyFastInitResponseFailsInBothFormsAndAutoGoesOnToTheSlowInit) {
  Env("PTSIM_MISBEHAVE", "fast_init_empty");
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(library);
    std::optional<Connection> connection = Open(library, passthru::kIso9141);
    ASSERT_TRUE(connection);
    EXPECT_EQ(FastInit(*connection, {0xC1}).error().text,
              "ERR_J2534_FAST_INIT_FAILED: empty response");
    auto result =
        KlineInit(*connection, KlineInitMode::Auto, std::nullopt, std::nullopt, std::nullopt);
    ASSERT_TRUE(result.ok()) << result.error().text;
    EXPECT_EQ(result->init_method, "slow");
    EXPECT_EQ(result->detected_protocol, "iso9141");
  }
}

TEST_F(KlineTest, KeywordBytesAndTheCcByte) {
  struct Case {
    const char* keywords;
    wire::Bytes bytes;
    std::string protocol;
  };
  const Case cases[] = {
      {"08,08", {0x08, 0x08}, "iso9141"},
      {"94,94", {0x94, 0x94}, "iso9141"},
      {"8F,E9", {0x8F, 0xE9}, "iso14230-slow"},
      {"8F", {0x8F}, "unknown"},
      {"55,08,08", {0x55, 0x08, 0x08}, "iso14230-slow"},
  };
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(library) + " " + c.keywords);
      Env("PTSIM_KEYWORDS", c.keywords);
      std::optional<Connection> connection = Open(library, passthru::kIso9141);
      ASSERT_TRUE(connection);
      ClearCalls();
      auto result = KlineInit(*connection, KlineInitMode::Slow, std::nullopt, std::nullopt, 200);
      ASSERT_TRUE(result.ok()) << result.error().text;
      EXPECT_EQ(result->init_method, "slow");
      EXPECT_EQ(result->keyword_bytes, c.bytes);
      EXPECT_EQ(result->detected_protocol, c.protocol);
      EXPECT_TRUE(result->cc_received);
      ASSERT_EQ(result->init_response.size(), 2u);
      EXPECT_EQ(result->init_response[0].data, c.bytes);
      EXPECT_EQ(result->init_response[0].data_size, c.bytes.size());
      EXPECT_EQ(result->init_response[0].protocol_id, passthru::kIso9141);
      EXPECT_EQ(result->init_response[1].data, wire::Bytes{0xCC});
      const Call call = std::move(CallsOf("PassThruIoctl").at(0));
      EXPECT_EQ(Str(call, "ioctl"), "FIVE_BAUD_INIT");
      EXPECT_EQ(Str(call["input"], "data"), "33");
      EXPECT_EQ(Num(call, "outputCapacity"), 16);
      EXPECT_EQ(Num(CallsOf("PassThruReadMsgs").at(0), "timeout"), 50);
      EXPECT_EQ(Num(CallsOf("PassThruReadMsgs").at(0), "count"), 16);
      EXPECT_EQ(LogLines().back(), "[j2534] kline_slow_init_with_cc: protocol=" + c.protocol +
                                       " cc=true extra_frames=1");
    }
  }
}

TEST_F(KlineTest, WaitingForTheCcByte) {
  Env("PTSIM_NO_CC", "1");
  Env("PTSIM_ECHO", "plain");
  Env("PTSIM_LOG_READS", "1");
  Env("PTSIM_MISBEHAVE", "five_baud_40");
  std::optional<Connection> connection = Open("ptsim0404", passthru::kIso14230);
  ASSERT_TRUE(connection);

  // A cc timeout of 0 reads nothing.
  ClearCalls();
  auto immediate = SlowInitWithCc(*connection, {0x33}, 0);
  ASSERT_TRUE(immediate.ok());
  EXPECT_FALSE(immediate->cc_received);
  EXPECT_EQ(immediate->init_response.size(), 1u);
  EXPECT_TRUE(CallsOf("PassThruReadMsgs").empty());
  // ptsim claims 40 keyword bytes in a buffer of 16.
  EXPECT_EQ(immediate->keyword_bytes,
            (wire::Bytes{0x08, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(immediate->init_response[0].data_size, 16u);
  EXPECT_EQ(LogLines().back(),
            "[j2534] kline_slow_init_with_cc: protocol=iso9141 cc=false extra_frames=0");

  // Nothing arrives: the wait ends at the timeout.
  auto silent = SlowInitWithCc(*connection, {0x33}, 120);
  ASSERT_TRUE(silent.ok());
  EXPECT_FALSE(silent->cc_received);
  EXPECT_EQ(silent->init_response.size(), 1u);

  // 0xCC inside a frame, with a later frame in the same read: both belong to the answer.
  ASSERT_TRUE(SendBatch(*connection, {{0, {0x7F, 0xCC, 0x02}, false}, {0, {0x01}, false}}).ok());
  auto found = SlowInitWithCc(*connection, {0x33}, 5000);
  ASSERT_TRUE(found.ok());
  EXPECT_TRUE(found->cc_received);
  ASSERT_EQ(found->init_response.size(), 3u);
  EXPECT_EQ(found->init_response[1].data, (wire::Bytes{0x7F, 0xCC, 0x02}));
  EXPECT_EQ(found->init_response[2].data, wire::Bytes{0x01});
  EXPECT_EQ(LogLines().back(),
            "[j2534] kline_slow_init_with_cc: protocol=iso9141 cc=true extra_frames=2");
}

TEST_F(KlineTest, AutoFallsBackToSlowOnAnyFastFailure) {
  Env("PTSIM_FAIL", "PassThruIoctl.FAST_INIT=7");
  Env("PTSIM_LAST_ERROR", "no answer");
  std::optional<Connection> connection = Open("ptsim0500", passthru::kIso14230);
  ASSERT_TRUE(connection);
  auto fast = KlineInit(*connection, KlineInitMode::Fast, wire::Bytes{0xC1}, std::nullopt, 0);
  EXPECT_EQ(fast.error().text, "ERR_J2534_FAST_INIT_FAILED: error code 7 (ERR_FAILED) - no answer");
  auto fallback = KlineInit(*connection, KlineInitMode::Auto, std::nullopt, wire::Bytes{0x01}, 100);
  ASSERT_TRUE(fallback.ok()) << fallback.error().text;
  EXPECT_EQ(fallback->init_method, "slow");
  EXPECT_TRUE(fallback->cc_received);
  EXPECT_EQ(Str(CallsOf("PassThruIoctl").back()["input"], "data"), "01");
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "[j2534] kline_init auto: fast init failed: ERR_J2534_FAST_INIT_FAILED: error code 7 "
            "(ERR_FAILED) - no answer");
  connection.reset();

  // Without PassThruIoctl both attempts fail; the answer is the slow one's failure.
  Env("PTSIM_FAIL", "");
  connection = Open("ptsim0404_noioctl", passthru::kIso14230);
  ASSERT_TRUE(connection);
  auto neither = KlineInit(*connection, KlineInitMode::Auto, std::nullopt, std::nullopt, 0);
  EXPECT_EQ(neither.error().text, "ERR_J2534_FUNC_NOT_FOUND: PassThruIoctl - " + kNotFound);
  EXPECT_EQ(LogLines().back(),
            "[j2534] kline_init auto: fast init failed: " + neither.error().text);
  connection.reset();

  Env("PTSIM_FAIL", "PassThruIoctl.FIVE_BAUD_INIT=8");
  connection = Open("ptsim0404", passthru::kIso9141);
  ASSERT_TRUE(connection);
  EXPECT_EQ(FiveBaudInit(*connection, {0x33}).error().text,
            "ERR_J2534_FIVE_BAUD_INIT_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED) - no answer");
}

}  // namespace
}  // namespace tarnix::j2534
