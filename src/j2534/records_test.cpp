// Unit tests of the record forms, status names, error texts and buffer texts.
#include "j2534/records.h"

#include <gtest/gtest.h>

#include <cstring>

#include "j2534/error.h"
#include "j2534/library.h"
#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "wire/types.h"

namespace tarnix::j2534 {
namespace {

TEST(StatusNameTest, NamesTheStandardCodesAndNothingBeyond) {
  const std::pair<uint32_t, std::string> cases[] = {
      {0, "STATUS_NOERROR"}, {1, "ERR_NOT_SUPPORTED"}, {7, "ERR_FAILED"},
      {9, "ERR_TIMEOUT"},    {16, "ERR_BUFFER_EMPTY"}, {26, "ERR_INVALID_DEVICE_ID"},
      {27, "UNKNOWN_ERROR"}, {0x30, "UNKNOWN_ERROR"},  {0xFFFFFFFF, "UNKNOWN_ERROR"},
  };
  for (const auto& [code, name] : cases)
    EXPECT_EQ(StatusNameOrUnknown(code), name) << code;
}

TEST(ErrorTextTest, EveryKindHasItsShape) {
  EXPECT_EQ(DllLoadError("LoadLibraryExW failed").text,
            "ERR_J2534_DLL_LOAD: LoadLibraryExW failed");
  EXPECT_EQ(FunctionNotFoundError("PassThruIoctl", "GetProcAddress failed").text,
            "ERR_J2534_FUNC_NOT_FOUND: PassThruIoctl - GetProcAddress failed");
  EXPECT_EQ(CallFailedError("OPEN_FAILED", 8, std::nullopt).text,
            "ERR_J2534_OPEN_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)");
  PassThruError with_text = CallFailedError("CONNECT_FAILED", 3, "bad protocol");
  EXPECT_EQ(with_text.text,
            "ERR_J2534_CONNECT_FAILED: error code 3 (ERR_INVALID_PROTOCOL_ID) - bad protocol");
  EXPECT_EQ(StatusError("ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER", 1).text,
            "ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER error code 1 (ERR_NOT_SUPPORTED)");
}

TEST(BufferTextTest, DecodesUpToTheFirstZeroLossily) {
  char blanks[512] = " \t \n";
  EXPECT_EQ(TrimmedBufferText(blanks, sizeof(blanks)), std::nullopt);
  char padded[512] = "  device unplugged \r\n";
  EXPECT_EQ(TrimmedBufferText(padded, sizeof(padded)), "device unplugged");
  char invalid[80] = "bad \xFF\xFE byte";
  EXPECT_EQ(BufferText(invalid, sizeof(invalid)), "bad \xEF\xBF\xBD\xEF\xBF\xBD byte");
  EXPECT_EQ(TrimmedBufferText(invalid, sizeof(invalid)), "bad \xEF\xBF\xBD\xEF\xBF\xBD byte");
  char full[80];
  std::memset(full, 'v', sizeof(full));
  EXPECT_EQ(BufferText(full, sizeof(full)), std::string(80, 'v'));
  char untrimmed[80] = " 04.04 ";
  EXPECT_EQ(BufferText(untrimmed, sizeof(untrimmed)), " 04.04 ");
}

TEST(PackFrameTest, LimitsPerProtocol) {
  struct Case {
    uint32_t protocol;
    size_t max;
  };
  for (const Case& c :
       {Case{passthru::kCan, 8}, Case{passthru::kIso15765, 4124}, Case{passthru::kIso14230, 4128},
        Case{passthru::kIso9141, 4128}, Case{passthru::kJ1850Vpw, 4128}}) {
    EXPECT_EQ(MaxPayload(c.protocol), c.max);
    EXPECT_TRUE(
        PackFrame(c.protocol, 1, wire::Bytes(c.max, 0xAA), false, MaxPayload(c.protocol)).ok());
    auto refused =
        PackFrame(c.protocol, 1, wire::Bytes(c.max + 1, 0xAA), false, MaxPayload(c.protocol));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().text, "ERR_J2534_MSG_TOO_LONG: " + std::to_string(c.max + 1) +
                                        " data bytes, at most " + std::to_string(c.max) +
                                        " fit a message of protocol " + std::to_string(c.protocol));
  }
  auto in_batch = PackFrame(passthru::kCan, 1, wire::Bytes(10), false, 8, "messages[2]");
  EXPECT_EQ(in_batch.error().text,
            "ERR_J2534_MSG_TOO_LONG: messages[2]: 10 data bytes, at most 8 fit a message of "
            "protocol 5");
}

TEST(PackFrameTest, IdentifierPrefixAndFlagsOnlyOnCanLikeChannels) {
  auto can = PackFrame(passthru::kCan, 0x18DB33F1, {0x02, 0x01, 0x00}, true, 8);
  EXPECT_EQ(can->bytes, (wire::Bytes{0x18, 0xDB, 0x33, 0xF1, 0x02, 0x01, 0x00}));
  EXPECT_EQ(can->tx_flags, passthru::kCan29BitId);
  auto iso15765 = PackFrame(passthru::kIso15765, 0x7E0, {0x3E}, false, 4124);
  EXPECT_EQ(iso15765->bytes, (wire::Bytes{0x00, 0x00, 0x07, 0xE0, 0x3E}));
  EXPECT_EQ(iso15765->tx_flags, 0u);
  auto kline = PackFrame(passthru::kIso14230, 0x7E0, {0xC1, 0x33}, true, 4128);
  EXPECT_EQ(kline->bytes, (wire::Bytes{0xC1, 0x33}));
  EXPECT_EQ(kline->tx_flags, 0u);
}

TEST(MessageArrayTest, SendRecordsInBothForms) {
  std::vector<OutgoingFrame> frames = {{{1, 2, 3, 4, 5}, passthru::kCan29BitId}, {{9}, 0}};
  MessageArray old_form = MessageArray::ForSend(false, passthru::kCan, frames);
  auto* records = static_cast<passthru::PassThruMsg0404*>(old_form.records());
  EXPECT_EQ(records[0].ProtocolID, passthru::kCan);
  EXPECT_EQ(records[0].TxFlags, passthru::kCan29BitId);
  EXPECT_EQ(records[0].DataSize, 5u);
  EXPECT_EQ(records[0].RxStatus | records[0].Timestamp | records[0].ExtraDataIndex, 0u);
  EXPECT_EQ(wire::Bytes(records[0].Data, records[0].Data + 6), (wire::Bytes{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(records[1].DataSize, 1u);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&records[1]) - reinterpret_cast<uint8_t*>(&records[0]),
            4152);

  MessageArray new_form = MessageArray::ForSend(true, passthru::kIso15765, frames);
  auto* packed = static_cast<passthru::PassThruMsg0500*>(new_form.records());
  for (size_t i = 0; i < frames.size(); ++i) {
    auto size = static_cast<uint32_t>(frames[i].bytes.size());
    EXPECT_EQ(packed[i].ProtocolID, passthru::kIso15765);
    EXPECT_EQ(packed[i].TxFlags, frames[i].tx_flags);
    EXPECT_EQ(packed[i].DataLength, size);
    EXPECT_EQ(packed[i].ExtraDataIndex, size);
    EXPECT_EQ(packed[i].DataBufferSize, size);
    EXPECT_EQ(packed[i].MsgHandle | packed[i].RxStatus | packed[i].Timestamp, 0u);
    EXPECT_EQ(wire::Bytes(packed[i].DataBuffer, packed[i].DataBuffer + size), frames[i].bytes);
  }
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&packed[1]) - reinterpret_cast<uint8_t*>(&packed[0]),
            static_cast<std::ptrdiff_t>(sizeof(void*) == 8 ? 40 : 36));
}

/// The bytes of `size` bytes at `start`.
wire::Bytes Memory(const void* start, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(start);
  return wire::Bytes(bytes, bytes + size);
}

TEST(MessageArrayTest, ReceiveRecordsAreRestoredToTheirPreparedBytesAfterARead) {
  // 05.00: what a library leaves behind in the first record must not reach the next read.
  MessageArray array = MessageArray::ForReceive(true, passthru::kCan, 2);
  auto* records = static_cast<passthru::PassThruMsg0500*>(array.records());
  const wire::Bytes prepared_headers = Memory(records, 2 * sizeof(passthru::PassThruMsg0500));
  uint8_t* first_buffer = records[0].DataBuffer;
  // Members of the packed record are copied out: a reference to one may be misaligned.
  uint8_t* second_buffer = records[1].DataBuffer;
  EXPECT_EQ(second_buffer - first_buffer, 4128);
  EXPECT_EQ(records[0].ProtocolID, passthru::kCan);
  EXPECT_EQ(records[1].DataBufferSize, 4128u);
  std::memset(first_buffer, 0x5A, 7);
  records[0].RxStatus = passthru::kTxMsgType;
  records[0].DataLength = 7;
  records[0].DataBuffer = nullptr;
  records[0].DataBufferSize = 3;
  array.RestoreReceive(1);
  EXPECT_EQ(Memory(records, 2 * sizeof(passthru::PassThruMsg0500)), prepared_headers);
  EXPECT_EQ(Memory(first_buffer, 2 * 4128), wire::Bytes(2 * 4128, 0));

  // 04.04: zero-filled again, and a record beyond those used is left as it is.
  MessageArray old_form = MessageArray::ForReceive(false, passthru::kCan, 2);
  auto* old_records = static_cast<passthru::PassThruMsg0404*>(old_form.records());
  for (passthru::PassThruMsg0404* record : {&old_records[0], &old_records[1]}) {
    record->DataSize = 9;
    record->RxStatus = 1;
    std::memset(record->Data, 0xA5, 9);
  }
  old_form.RestoreReceive(1);
  EXPECT_EQ(Memory(&old_records[0], sizeof(passthru::PassThruMsg0404)),
            wire::Bytes(sizeof(passthru::PassThruMsg0404), 0));
  EXPECT_EQ(old_records[1].DataSize, 9u);
}

TEST(MessageArrayTest, PackedRecordsAreZeroFilledAgainAfterTheirWrite) {
  for (bool api_0500 : {false, true}) {
    SCOPED_TRACE(api_0500);
    MessageArray array = MessageArray::ForPacking(api_0500, passthru::kIso15765, 2);
    const size_t size =
        api_0500 ? 2 * sizeof(passthru::PassThruMsg0500) : 2 * sizeof(passthru::PassThruMsg0404);
    const wire::Bytes clean = Memory(array.records(), size);
    const FrameHead head = HeadOf(passthru::kIso15765, 0x18DA10F1, true);
    array.BeginPacking(2 * 4 + 4124 + 1);
    array.Pack(0, head.tx_flags, head.bytes(), wire::Bytes(4124, 0x77));
    array.Pack(1, 0, head.bytes(), wire::Bytes{0x3E});
    const RecordView second = array.View(1);
    EXPECT_EQ(wire::Bytes(second.data, second.data + second.length),
              (wire::Bytes{0x18, 0xDA, 0x10, 0xF1, 0x3E}));
    static_cast<uint8_t*>(array.records())[12] = 99;  // a library marking the first header
    array.ClearPacked(2);
    EXPECT_EQ(Memory(array.records(), size), clean);
  }
}

RecordView CanView(const wire::Bytes& bytes, uint32_t rx_status = 0) {
  static wire::Bytes storage;
  storage = bytes;
  return {passthru::kCan, rx_status, 1234, static_cast<uint32_t>(storage.size()), storage.data()};
}

TEST(ToMessageTest, CanLikeRecords) {
  struct Case {
    wire::Bytes bytes;
    uint32_t rx_status;
    bool yields;
    uint32_t arb_id;
    bool extended;
  };
  const Case cases[] = {
      {{0, 0, 7, 0xE8}, 0, true, 0x7E8, false},
      {{0, 0, 7}, 0, false, 0, false},
      {{0, 0, 7, 0xFF, 1}, 0, true, 0x7FF, false},
      {{0, 0, 8, 0x00, 1}, 0, true, 0x800, true},
      {{0, 0, 1, 0x00}, passthru::kCan29BitId, true, 0x100, true},
      {{0x18, 0xDA, 0xF1, 0x10, 0x41}, 0, true, 0x18DAF110, true},
  };
  for (const Case& c : cases) {
    auto message = ToMessage(CanView(c.bytes, c.rx_status), true);
    ASSERT_EQ(message.has_value(), c.yields);
    if (!c.yields) continue;
    EXPECT_EQ(message->arb_id, c.arb_id);
    EXPECT_EQ(message->raw_arb_id, c.arb_id);
    EXPECT_EQ(message->extended, c.extended);
    EXPECT_EQ(message->data, wire::Bytes(c.bytes.begin() + 4, c.bytes.end()));
    EXPECT_EQ(message->data_size, c.bytes.size());
    EXPECT_EQ(message->timestamp_us, 1234u);
    EXPECT_EQ(message->rx_status, c.rx_status);
    EXPECT_EQ(message->protocol_id, passthru::kCan);
  }
}

TEST(ToMessageTest, ByteStreamRecords) {
  EXPECT_FALSE(ToMessage(CanView({}), false).has_value());
  auto one = ToMessage(CanView({0x00, 0x00, 0x07, 0xE8}), false);
  ASSERT_TRUE(one.has_value());
  EXPECT_EQ(one->arb_id, 0u);
  EXPECT_FALSE(one->extended);
  EXPECT_EQ(one->data, (wire::Bytes{0x00, 0x00, 0x07, 0xE8}));
  EXPECT_EQ(RawMessage(CanView({})).data, wire::Bytes{});
}

TEST(ToMessageTest, OversizeRecordsAreClampedToTheirDataArea) {
  auto old_record = std::make_unique<passthru::PassThruMsg0404>();
  old_record->DataSize = 5000;
  old_record->Data[4127] = 0x5A;
  RecordView old_view = View(*old_record);
  EXPECT_EQ(old_view.length, 4128u);
  EXPECT_EQ(ToMessage(old_view, false)->data.back(), 0x5A);
  EXPECT_EQ(ToMessage(old_view, false)->data_size, 4128u);

  wire::Bytes area(16, 0x11);
  passthru::PassThruMsg0500 record{};
  record.DataBuffer = area.data();
  record.DataBufferSize = 16;
  record.DataLength = 40;
  EXPECT_EQ(ToMessage(View(record, area.data(), area.size()), false)->data, area);
  // A library that enlarges DataBufferSize still cannot take us beyond our own buffer.
  record.DataBufferSize = 4000;
  EXPECT_EQ(View(record, area.data(), area.size()).length, 16u);
  record.DataBuffer = nullptr;
  EXPECT_FALSE(ToMessage(View(record, area.data(), area.size()), false).has_value());
}

}  // namespace
}  // namespace tarnix::j2534
