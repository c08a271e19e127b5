// Writing and reading through a connection against ptsim, checked through its call log.
#include "j2534/io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "common/fake_clock.h"
#include "j2534/ioctl.h"
#include "j2534/periodic.h"
#include "j2534/ptsim_fixture.h"
#include "passthru/numbers.h"
#include "wire/types.h"

namespace tarnix::j2534 {
namespace {

using namespace std::chrono_literals;

using IoTest = PtsimTest;
using wire::BatchMessage;

std::vector<BatchMessage> Frames(size_t count, uint32_t arb_id = 0x123) {
  return std::vector<BatchMessage>(count, BatchMessage{arb_id, {0x01, 0x02}, false});
}

std::string Repeated(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i)
    out += text;
  return out;
}

TEST_F(IoTest, FramesOnTheWire) {
  struct Case {
    const char* library;
    uint32_t protocol;
    uint32_t arb_id;
    wire::Bytes data;
    bool extended;
    const char* write_fn;
    std::string hex;
    int64_t tx_flags;
  };
  const Case cases[] = {
      {"ptsim0404",
       passthru::kCan,
       0x7E0,
       {0x02, 0x01, 0x00},
       false,
       "PassThruWriteMsgs",
       "000007E0020100",
       0},
      {"ptsim0500",
       passthru::kCan,
       0x18DB33F1,
       {0x02, 0x01, 0x00},
       true,
       "PassThruQueueMsgs",
       "18DB33F1020100",
       0x100},
      {"ptsim0404", passthru::kIso15765, 0x7DF, wire::Bytes(100, 0x5A), false, "PassThruWriteMsgs",
       "000007DF" + Repeated("5A", 100), 0},
      {"ptsim0500_writemsgs",
       passthru::kIso14230,
       0x7E0,
       {0xC1, 0x33, 0xF1, 0x3E},
       true,
       "PassThruWriteMsgs",
       "C133F13E",
       0},
      {"ptsim0500_both", passthru::kIso9141, 0, {0x68}, false, "PassThruQueueMsgs", "68", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.library) + " " + c.hex.substr(0, 16));
    std::optional<Connection> connection = Open(c.library, c.protocol);
    ASSERT_TRUE(connection);
    ClearCalls();
    auto sent = SendOne(*connection, c.arb_id, c.data, c.extended);
    ASSERT_TRUE(sent.ok()) << sent.error().text;
    std::vector<std::string> fns = Fns();
    ASSERT_EQ(fns.size(), 1u);
    EXPECT_EQ(fns[0], c.write_fn);
    const Call call = std::move(CallsOf(c.write_fn).at(0));
    EXPECT_EQ(Num(call, "count"), 1);
    // PassThruQueueMsgs takes no timeout.
    EXPECT_EQ(Num(call, "timeout"), std::string(c.write_fn) == "PassThruQueueMsgs" ? -1 : 1000);
    const auto& record = call["msgs"][0];
    EXPECT_EQ(Str(record, "data"), c.hex);
    EXPECT_EQ(Num(record, "txFlags"), c.tx_flags);
    EXPECT_EQ(Num(record, "protocol"), c.protocol);
    int64_t size = static_cast<int64_t>(c.hex.size() / 2);
    EXPECT_EQ(Num(record, "dataSize"), size);
    EXPECT_EQ(Num(record, "extraDataIndex"), connection->api_0500() ? size : 0);
    if (connection->api_0500()) {
      EXPECT_EQ(Num(record, "dataBufferSize"), size);
    }
    EXPECT_EQ(connection->echo_list().Size(), 1u);
  }
}

TEST_F(IoTest, RefusedBeforeAnythingIsSent) {
  std::optional<Connection> can = Open("ptsim0404", passthru::kCan);
  ASSERT_TRUE(can);
  ClearCalls();
  auto one = SendOne(*can, 0x7E0, wire::Bytes(12, 0), false);
  EXPECT_EQ(one.error().text,
            "ERR_J2534_MSG_TOO_LONG: 12 data bytes, at most 8 fit a message of protocol 5");
  std::vector<BatchMessage> batch = Frames(4);
  batch[2].data.assign(10, 0);
  auto batch_result = SendBatch(*can, batch);
  EXPECT_EQ(batch_result.error().text,
            "ERR_J2534_MSG_TOO_LONG: messages[2]: 10 data bytes, at most 8 fit a message of "
            "protocol 5");
  auto raw = SendRaw(*can, batch, 100);
  EXPECT_EQ(raw.error().text, batch_result.error().text);
  EXPECT_EQ(*SendBatch(*can, {}), 0u);
  EXPECT_EQ(*SendRaw(*can, {}, 100), wire::RawResult{});
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(can->echo_list().Size(), 0u);
  can.reset();

  std::optional<Connection> iso15765 = Open("ptsim0500", passthru::kIso15765);
  ASSERT_TRUE(iso15765);
  EXPECT_TRUE(SendOne(*iso15765, 0x7E0, wire::Bytes(4124, 0), false).ok());
  EXPECT_EQ(SendOne(*iso15765, 0x7E0, wire::Bytes(4125, 0), false).error().text,
            "ERR_J2534_MSG_TOO_LONG: 4125 data bytes, at most 4124 fit a message of protocol 6");
}

TEST_F(IoTest, MissingEntryPointsNameTheFunction) {
  ExpectFunctionNotFound({
      {"ptsim0404_nowrite", [](Connection& c) { return ErrorOf(SendOne(c, 1, {1}, false)); },
       "PassThruWriteMsgs"},
      {"ptsim0500_nowrite", [](Connection& c) { return ErrorOf(SendBatch(c, Frames(2))); },
       "PassThruQueueMsgs/PassThruWriteMsgs"},
      {"ptsim0500_nowrite", [](Connection& c) { return ErrorOf(SendRaw(c, Frames(2), 5)); },
       "PassThruQueueMsgs/PassThruWriteMsgs"},
      {"ptsim0404_noread", [](Connection& c) { return ErrorOf(Drain(c, 0, 16, 1)); },
       "PassThruReadMsgs"},
      {"ptsim0404_noread", [](Connection& c) { return ErrorOf(ReadWithEcho(c, 0)); },
       "PassThruReadMsgs"},
      {"ptsim0404_noread", [](Connection& c) { return ErrorOf(ReadRaw(c, 4, 0)); },
       "PassThruReadMsgs"},
  });
}

TEST_F(IoTest, BatchTimeoutsCountsAndFailures) {
  // A clock that stands still: under a sanitizer the writes may outlast an echo entry's life.
  FakeClock clock;
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan, 0, clock);
  ASSERT_TRUE(connection);
  ClearCalls();
  EXPECT_EQ(*SendBatch(*connection, Frames(3)), 3u);
  EXPECT_EQ(*SendBatch(*connection, Frames(1000)), 1000u);
  auto raw = SendRaw(*connection, Frames(2), 250);
  EXPECT_EQ(*raw, (wire::RawResult{0, 2}));
  std::vector<Call> writes = CallsOf("PassThruWriteMsgs");
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(Num(writes[0], "timeout"), 5000);
  EXPECT_EQ(Num(writes[0], "count"), 3);
  EXPECT_EQ(Num(writes[1], "timeout"), 10000);
  EXPECT_EQ(Num(writes[2], "timeout"), 250);
  EXPECT_EQ(connection->echo_list().Size(), 1005u);
  connection.reset();

  // A library refusing the whole write, in both forms.
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    Env("PTSIM_FAIL", "PassThruWriteMsgs=7;PassThruQueueMsgs=7");
    connection = Open(library, passthru::kCan);
    ASSERT_TRUE(connection);
    EXPECT_EQ(SendOne(*connection, 0x7E0, {1}, false).error().text,
              "ERR_J2534_WRITE_FAILED: error code 7 [ERR_FAILED]");
    EXPECT_EQ(SendBatch(*connection, Frames(3)).error().text,
              "ERR_J2534_WRITE_FAILED: error code 7 (ERR_FAILED), sent 0/3 messages");
    EXPECT_EQ(*SendRaw(*connection, Frames(3), 10), (wire::RawResult{7, 0}));
    EXPECT_EQ(connection->echo_list().Size(), 0u);
  }
  connection.reset();

  // ptsim refuses an empty K-Line frame after sending those before it.
  Env("PTSIM_FAIL", "");
  connection = Open("ptsim0500_writemsgs", passthru::kIso14230);
  ASSERT_TRUE(connection);
  std::vector<BatchMessage> partial = {{0, {0x01}, false}, {0, {0x02}, false}, {0, {}, false}};
  EXPECT_EQ(SendBatch(*connection, partial).error().text,
            "ERR_J2534_WRITE_FAILED: error code 10 (ERR_INVALID_MSG), sent 2/3 messages");
  EXPECT_EQ(connection->echo_list().Size(), 0u);
  EXPECT_EQ(*SendRaw(*connection, partial, 10), (wire::RawResult{10, 2}));
  EXPECT_EQ(connection->echo_list().Size(), 2u);
}

TEST_F(IoTest, LargeBatchesGoInCallsOfAtMostTheChunkSize) {
  // A clock that stands still keeps the echo entries however slowly the calls run.
  FakeClock clock;
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan, 0, clock);
  ASSERT_TRUE(connection);
  ClearCalls();
  EXPECT_EQ(*SendBatch(*connection, Frames(kWriteChunkFrames + 1)), kWriteChunkFrames + 1);
  std::vector<Call> writes = CallsOf("PassThruWriteMsgs");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(Num(writes[0], "count"), static_cast<int64_t>(kWriteChunkFrames));
  EXPECT_EQ(Num(writes[0], "timeout"), static_cast<int64_t>(BatchTimeoutMs(kWriteChunkFrames)));
  EXPECT_EQ(Num(writes[1], "count"), 1);
  EXPECT_EQ(Num(writes[1], "timeout"), 5000);
  EXPECT_EQ(connection->echo_list().Size(), kWriteChunkFrames + 1);

  // A failing second call ends the batch: the third is never made, and what went out is counted.
  const std::vector<BatchMessage> three_calls = Frames(2 * kWriteChunkFrames + 1);
  Env("PTSIM_FAIL", "PassThruWriteMsgs@2=ERR_FAILED");
  for (bool raw : {false, true}) {
    SCOPED_TRACE(raw ? "raw" : "batch");
    connection.reset();
    connection = Open("ptsim0404", passthru::kCan, 0, clock);
    ASSERT_TRUE(connection);
    ClearCalls();
    if (raw) {
      EXPECT_EQ(*SendRaw(*connection, three_calls, 40),
                (wire::RawResult{7, static_cast<uint32_t>(kWriteChunkFrames)}));
      EXPECT_EQ(Num(CallsOf("PassThruWriteMsgs").at(1), "timeout"), 40);
    } else {
      EXPECT_EQ(SendBatch(*connection, three_calls).error().text,
                "ERR_J2534_WRITE_FAILED: error code 7 (ERR_FAILED), sent " +
                    std::to_string(kWriteChunkFrames) + "/" + std::to_string(three_calls.size()) +
                    " messages");
    }
    EXPECT_EQ(CallsOf("PassThruWriteMsgs").size(), 2u);
    EXPECT_EQ(connection->echo_list().Size(), kWriteChunkFrames);
  }
}

TEST_F(IoTest, PlainEchoesAreSuppressedForFiveHundredMilliseconds) {
  Env("PTSIM_ECHO", "plain");
  FakeClock clock;
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan, 0, clock);
  ASSERT_TRUE(connection);
  auto drain = [&] { return *Drain(*connection, 0, 16, 4); };

  ASSERT_TRUE(SendOne(*connection, 0x123, {1, 2}, false).ok());
  clock.Advance(100ms);
  EXPECT_TRUE(drain().empty());

  ASSERT_TRUE(SendOne(*connection, 0x123, {1, 2}, false).ok());
  clock.Advance(600ms);
  std::vector<wire::ReceivedMessage> late = drain();
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(late[0].arb_id, 0x123u);
  EXPECT_EQ(late[0].data, (wire::Bytes{1, 2}));

  // Periodic frames are not in the echo list: the same identifier with another payload is
  // delivered, and the one entry of a send cancels only one of two equal echoes.
  ASSERT_TRUE(StartPeriodic(*connection, 0x123, {9}, false, 60000).ok());
  ASSERT_TRUE(SendOne(*connection, 0x123, {1}, false).ok());
  ASSERT_TRUE(StartPeriodic(*connection, 0x124, {1}, false, 60000).ok());
  ASSERT_TRUE(SendOne(*connection, 0x124, {1}, false).ok());
  std::vector<wire::ReceivedMessage> frames = drain();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].data, wire::Bytes{9});
  EXPECT_EQ(frames[1].arb_id, 0x124u);
  connection.reset();

  // No suppression on a byte-stream channel.
  connection = Open("ptsim0500", passthru::kIso14230, 0, clock);
  ASSERT_TRUE(connection);
  ASSERT_TRUE(SendOne(*connection, 0, {0x81}, false).ok());
  EXPECT_EQ(drain().size(), 1u);
}

TEST_F(IoTest, TransmitEchoesOnlyReachReadWithEcho) {
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(library);
    std::optional<Connection> connection = Open(library, passthru::kCan);
    ASSERT_TRUE(connection);
    ASSERT_TRUE(SetLoopback(*connection, true).ok());
    ASSERT_TRUE(SendOne(*connection, 0x7DF, {0x02, 0x01, 0x00}, false).ok());
    std::vector<wire::ReceivedMessage> drained = *Drain(*connection, 0, 16, 4);
    ASSERT_EQ(drained.size(), 1u);  // the ECU's answer, not the echo
    EXPECT_EQ(drained[0].arb_id, 0x7E8u);
    EXPECT_EQ(drained[0].data.at(1), 0x41);
    EXPECT_EQ(drained[0].data_size, 12u);

    ASSERT_TRUE(SendOne(*connection, 0x123, {5}, false).ok());
    std::vector<wire::ReceivedMessage> read = *ReadWithEcho(*connection, 0);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].rx_status & passthru::kTxMsgType, passthru::kTxMsgType);
    EXPECT_EQ(read[0].data, wire::Bytes{5});
  }
}

TEST_F(IoTest, DrainCallsAndTheirFailures) {
  Env("PTSIM_TRAFFIC", "20");
  std::optional<Connection> connection = Open("ptsim0404", passthru::kIso15765);
  ASSERT_TRUE(connection);
  EXPECT_EQ(Drain(*connection, 25, 16, 4)->size(), 20u);
  std::vector<Call> reads = CallsOf("PassThruReadMsgs");
  ASSERT_EQ(reads.size(), 2u);  // the short second read ends the loop
  EXPECT_EQ(Num(reads[0], "timeout"), 25);
  EXPECT_EQ(Num(reads[1], "timeout"), 0);
  EXPECT_EQ(Num(reads[1], "count"), 16);
  EXPECT_EQ(Num(reads[1], "countOut"), 4);
  connection.reset();

  struct Case {
    const char* fail;
    uint32_t frames;
    uint32_t calls;
    size_t received;  // SIZE_MAX: the first read fails
    int64_t logged_count;
  };
  const Case cases[] = {
      {"PassThruReadMsgs@1=8", 16, 4, SIZE_MAX, 16},
      {"PassThruReadMsgs@2=8", 16, 4, 16, 16},
      {"PassThruReadMsgs@2=16", 16, 4, 16, 16},
      {"PassThruReadMsgs=9", 16, 4, 0, 16},
      {"", 0, 0, 1, 1},
      {"", 1000, 1000, 20, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fail) + " " + std::to_string(c.frames));
    Env("PTSIM_FAIL", c.fail);
    connection.reset();
    ClearCalls();
    connection = Open("ptsim0500", passthru::kCan);
    ASSERT_TRUE(connection);
    auto frames = Drain(*connection, 0, c.frames, c.calls);
    if (c.received == SIZE_MAX) {
      ASSERT_FALSE(frames.ok());
      EXPECT_EQ(frames.error().text,
                "ERR_J2534_READ_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)");
    } else {
      ASSERT_TRUE(frames.ok()) << frames.error().text;
      EXPECT_EQ(frames->size(), c.received);
    }
    EXPECT_EQ(Num(CallsOf("PassThruReadMsgs").at(0), "count"), c.logged_count);
  }
}

TEST_F(IoTest, DrainReadsTheDedicatedChannelAfterTheMainOne) {
  Env("PTSIM_TRAFFIC", "2");
  Env("PTSIM_LOG_READS", "1");
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan, passthru::kCanIdBoth);
  ASSERT_TRUE(connection);
  ASSERT_TRUE(connection->has_29bit_channel());
  ASSERT_TRUE(SendOne(*connection, 0x18DB33F1, {0x02, 0x01, 0x0D}, true).ok());
  ClearCalls();
  std::vector<wire::ReceivedMessage> frames = *Drain(*connection, 7, 16, 4);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].arb_id, 0x7E8u);
  EXPECT_FALSE(frames[0].extended);
  EXPECT_EQ(frames[2].arb_id, 0x18DAF110u);
  EXPECT_TRUE(frames[2].extended);
  std::vector<Call> reads = CallsOf("PassThruReadMsgs");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(Num(reads[0], "channelId"), 2);
  EXPECT_EQ(Num(reads[0], "timeout"), 7);
  EXPECT_EQ(Num(reads[1], "channelId"), 3);
  EXPECT_EQ(Num(reads[1], "timeout"), 0);
  connection.reset();

  // Any trouble on the dedicated channel only ends its reading.
  Env("PTSIM_FAIL", "PassThruReadMsgs@2=8");
  connection = Open("ptsim0500", passthru::kCan, passthru::kCanIdBoth);
  ASSERT_TRUE(connection);
  auto quiet = Drain(*connection, 0, 16, 4);
  ASSERT_TRUE(quiet.ok());
  EXPECT_EQ(quiet->size(), 2u);
}

TEST_F(IoTest, DirectReads) {
  Env("PTSIM_LOG_READS", "1");
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan);
  ASSERT_TRUE(connection);
  EXPECT_EQ(*ReadRaw(*connection, 0, 0), (wire::RawResult{16, 0}));
  EXPECT_EQ(*ReadRaw(*connection, 100, 3), (wire::RawResult{9, 0}));
  std::vector<Call> reads = CallsOf("PassThruReadMsgs");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(Num(reads[0], "count"), 1);
  EXPECT_EQ(Num(reads[1], "count"), 64);
  EXPECT_EQ(Num(reads[1], "timeout"), 3);
  EXPECT_TRUE(ReadWithEcho(*connection, 1)->empty());
  EXPECT_EQ(Num(CallsOf("PassThruReadMsgs").back(), "count"), 16);
  connection.reset();

  Env("PTSIM_FAIL", "PassThruReadMsgs=2");
  connection = Open("ptsim0500", passthru::kCan);
  ASSERT_TRUE(connection);
  EXPECT_EQ(ReadWithEcho(*connection, 0).error().text,
            "ERR_J2534_READ_FAILED: error code 2 (ERR_INVALID_CHANNEL_ID)");
  EXPECT_EQ(*ReadRaw(*connection, 4, 0), (wire::RawResult{2, 0}));
}

TEST_F(IoTest, MisbehavingLibrariesAreReadOnlyWithinTheirRecords) {
  for (const char* library : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(library);
    Env("PTSIM_TRAFFIC", "5");
    Env("PTSIM_MISBEHAVE", "read_count_overflow");
    std::optional<Connection> connection = Open(library, passthru::kCan);
    ASSERT_TRUE(connection);
    // ptsim fills 5 records and claims 3 more than it was given room for.
    EXPECT_EQ(Drain(*connection, 0, 4, 1)->size(), 4u);
    EXPECT_EQ(ReadWithEcho(*connection, 0)->size(), 1u);
    connection.reset();

    Env("PTSIM_TRAFFIC", "1");
    Env("PTSIM_MISBEHAVE", "data_size_overflow");
    connection = Open(library, passthru::kIso15765);
    ASSERT_TRUE(connection);
    std::vector<wire::ReceivedMessage> frames = *Drain(*connection, 0, 16, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data_size, 4128u);
    EXPECT_EQ(frames[0].data.size(), 4124u);
    EXPECT_EQ(frames[0].arb_id, 0x7E8u);
  }
}

}  // namespace
}  // namespace tarnix::j2534
