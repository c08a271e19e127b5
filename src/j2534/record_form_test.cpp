// Whole records against ptsim: what reaches the library is what the request gave, and what the
// library filled comes back with every member.
#include "j2534/record_form.h"

#include <gtest/gtest.h>

#include "j2534/ioctl.h"
#include "j2534/ptsim_fixture.h"

namespace tarnix::j2534 {
namespace {

using RecordFormTest = PtsimTest;
using wire::RecordParam;

RecordParam Param(wire::Bytes data, uint32_t tx_flags = 0, uint32_t extra_data_index = 0) {
  RecordParam record;
  record.tx_flags = tx_flags;
  record.extra_data_index = extra_data_index;
  record.data = std::move(data);
  return record;
}

const wire::Bytes kEngineSpeed = {0, 0, 0x07, 0xDF, 0x02, 0x01, 0x0C};

TEST_F(RecordFormTest, WrittenAsGivenAndReadBackWholeWithEchoes) {
  for (const char* base : {"ptsim0404", "ptsim0500"}) {
    SCOPED_TRACE(base);
    ClearCalls();
    std::optional<Connection> connection = Open(base, passthru::kCan);
    ASSERT_TRUE(connection);
    ASSERT_TRUE(SetLoopback(*connection, true));
    auto written = WriteRecords(*connection, {Param(kEngineSpeed, 0x40, 3)}, 100);
    ASSERT_TRUE(written) << written.error().text;
    EXPECT_EQ(*written, (wire::RawResult{0, 1}));
    const std::vector<Call> writes =
        CallsOf(std::string_view(base) == "ptsim0404" ? "PassThruWriteMsgs" : "PassThruQueueMsgs");
    const rapidjson::Value& sent = writes.at(0)["msgs"][0];
    EXPECT_EQ(Num(sent, "txFlags"), 0x40);
    EXPECT_EQ(Num(sent, "extraDataIndex"), 3);
    EXPECT_EQ(Num(sent, "protocol"), passthru::kCan);

    auto read = ReadRecords(*connection, 8, 100);
    ASSERT_TRUE(read) << read.error().text;
    EXPECT_EQ(read->result, 0);
    ASSERT_EQ(read->num_msgs, 2u);
    ASSERT_TRUE(read->records);
    const wire::Record& echo = (*read->records)[0];
    EXPECT_EQ(echo.rx_status & passthru::kTxMsgType, passthru::kTxMsgType);
    EXPECT_EQ(echo.data, kEngineSpeed);
    EXPECT_EQ(echo.data_size, kEngineSpeed.size());
    const wire::Record& answer = (*read->records)[1];
    EXPECT_EQ(answer.protocol_id, passthru::kCan);
    EXPECT_EQ(answer.data,
              (wire::Bytes{0, 0, 0x07, 0xE8, 4, 0x41, 0x0C, 0x1A, 0xF8, 0xAA, 0xAA, 0xAA}));
    EXPECT_GT(answer.timestamp, 0u);

    auto nothing = ReadRecords(*connection, 8, 0);
    EXPECT_EQ(nothing->result, static_cast<int32_t>(passthru::kErrBufferEmpty));
    EXPECT_TRUE(nothing->records->empty());
    auto too_long = WriteRecords(*connection, {Param(wire::Bytes(4129, 0))}, 100);
    EXPECT_EQ(too_long.error().text,
              "ERR_J2534_MSG_TOO_LONG: records[0]: 4129 data bytes, at most 4128 fit a message "
              "of protocol 5");
  }
}

TEST_F(RecordFormTest, PeriodicMessagesFiltersAndFastInitTakeRecordsUnchanged) {
  Env("PTSIM_STRICT", "1");
  std::optional<Connection> iso = Open("ptsim0404", passthru::kIso15765);
  ASSERT_TRUE(iso);
  const RecordParam mask = Param({0xFF, 0xFF, 0xFF, 0xFF}, 0x40);
  auto flow = AddFilterRecords(*iso, passthru::kFlowControlFilter, mask,
                               Param({0, 0, 0x07, 0xE8}, 0x40), Param({0, 0, 0x07, 0xE0}, 0x40));
  ASSERT_TRUE(flow) << flow.error().text;
  const std::vector<Call> filters = CallsOf("PassThruStartMsgFilter");
  EXPECT_EQ(Num(filters.back()["flowControl"], "txFlags"), 0x40);
  // Thirteen bytes go to the library, which refuses them, rather than being cut to twelve.
  auto refused = AddFilterRecords(*iso, passthru::kPassFilter, Param(wire::Bytes(13, 0xFF)),
                                  Param(wire::Bytes(13, 0)), std::nullopt);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().j2534_status(), 10u);
  auto periodic = StartPeriodicRecord(*iso, Param({0, 0, 0x07, 0xDF, 0x3E, 0x80}, 0, 6), 100);
  ASSERT_TRUE(periodic) << periodic.error().text;
  const std::vector<Call> starts = CallsOf("PassThruStartPeriodicMsg");
  EXPECT_EQ(Num(starts.back()["msg"], "extraDataIndex"), 6);

  std::optional<Connection> k_line = Open("ptsim0500", passthru::kIso14230);
  ASSERT_TRUE(k_line);
  auto response = FastInitRecord(*k_line, Param({0xC1, 0x33, 0xF1, 0x81, 0x66}));
  ASSERT_TRUE(response) << response.error().text;
  EXPECT_EQ(response->data, (wire::Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F}));
  EXPECT_EQ(MessageOf(*response).data, response->data);
  iso.reset();
  Env("PTSIM_MISBEHAVE", "fast_init_empty");
  std::optional<Connection> empty = Open("ptsim0404", passthru::kIso14230);
  ASSERT_TRUE(empty);
  auto blank = FastInitRecord(*empty, Param({0xC1, 0x33, 0xF1, 0x81, 0x66}));
  ASSERT_TRUE(blank) << "the record form answers what the library wrote, even nothing";
  EXPECT_EQ(blank->data_size, 0u);
}

}  // namespace
}  // namespace tarnix::j2534
