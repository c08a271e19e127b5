// The record and status mapping between the application's calls and the bridge's wire.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shim/answer.h"
#include "shim/wire_records.h"

namespace tarnix::shim {
namespace {

PassThruMsg0404 Message(std::initializer_list<uint8_t> data) {
  PassThruMsg0404 message{};
  message.ProtocolID = 6;
  message.RxStatus = 0x101;
  message.TxFlags = 0x40;
  message.Timestamp = 4294967295u;
  message.ExtraDataIndex = 3;
  message.DataSize = static_cast<uint32_t>(data.size());
  std::copy(data.begin(), data.end(), message.Data);
  return message;
}

std::string Written(const PassThruMsg0404& message) {
  JsonWriter out;
  WriteRecord(out, message);
  return out.Take();
}

bool Read(const std::string& text, PassThruMsg0404& message) {
  protocol::json::Reader in(text);
  return ReadRecord(in, message);
}

TEST(WireRecords, EveryFieldGoesAndComesBack) {
  const PassThruMsg0404 sent = Message({0, 0, 7, 0xE8, 0x41, 0x0C});
  const std::string text = Written(sent);
  EXPECT_EQ(text, R"({"protocolId":6,"rxStatus":257,"txFlags":64,"timestamp":4294967295,)"
                  R"("extraDataIndex":3,"data":[0,0,7,232,65,12]})");
  PassThruMsg0404 back{};
  ASSERT_TRUE(Read(text, back));
  EXPECT_EQ(std::memcmp(&back, &sent, offsetof(PassThruMsg0404, Data) + sent.DataSize), 0);

  // An answered record states its DataSize, which may differ from the bytes it carries.
  ASSERT_TRUE(Read(R"({"dataSize":9,"data":[1,2],"unknown":[{}],"protocolId":5})", back));
  EXPECT_EQ(back.DataSize, 9u);
  EXPECT_EQ(back.ProtocolID, 5u);
}

TEST(WireRecords, WhatNoRecordHoldsIsRefused) {
  PassThruMsg0404 message{};
  EXPECT_FALSE(Read(R"([1,2])", message));
  EXPECT_FALSE(Read(R"({"protocolId":5})", message));  // no data
  EXPECT_FALSE(Read(R"({"data":[256]})", message));
  EXPECT_FALSE(Read(R"({"data":[1],"rxStatus":-1})", message));
  EXPECT_FALSE(Read(R"({"data":[1],"txFlags":4294967296})", message));
  EXPECT_FALSE(Read(R"({"data":[1],"dataSize":4129})", message));
  std::string big = R"({"data":[0)";
  for (size_t i = 0; i < kMaxDataSize; ++i)
    big += ",0";
  EXPECT_FALSE(Read(big + "]}", message));
}

TEST(WireStatuses, AnErrorIsItsJ2534StatusElseErrFailed) {
  const std::optional<Answer> library = ReadAnswer(
      R"x({"id":3,"status":"error","code":-1,"message":"ERR_J2534_START_PERIODIC_FAILED: error )x"
      R"x(code 11 (ERR_INVALID_TIME_INTERVAL)","j2534Status":11})x");
  ASSERT_TRUE(library);
  EXPECT_FALSE(library->ok);
  EXPECT_EQ(StatusOfError(library->j2534_status), 11u);
  const std::optional<Answer> own =
      ReadAnswer(R"({"id":4,"status":"error","code":-1,"message":"Not connected"})");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->message, "Not connected");
  EXPECT_EQ(StatusOfError(own->j2534_status), kErrFailed);
  EXPECT_EQ(StatusOfError(0), kErrFailed);  // an error never reads as success
  EXPECT_FALSE(ReadAnswer(R"({"id":5,"status":"ok"})"));
  EXPECT_FALSE(ReadAnswer(R"({"id":5,"status":"ok","data":null} x)"));
}

TEST(WireRecords, ARawReadFillsTheRoomItHasAndCountsTheRest) {
  PassThruMsg0404 records[2]{};
  const std::optional<Answer> answer = ReadAnswer(
      R"({"id":9,"status":"ok","data":{"result":0,"numMsgs":3,"records":[)"
      R"({"protocolId":6,"rxStatus":0,"txFlags":0,"timestamp":10,"dataSize":4,"extraDataIndex":0,"data":[0,0,7,232]},)"
      R"({"protocolId":6,"rxStatus":1,"txFlags":0,"timestamp":11,"dataSize":4,"extraDataIndex":0,"data":[0,0,7,224]},)"
      R"({"protocolId":6,"rxStatus":0,"txFlags":0,"timestamp":12,"dataSize":4,"extraDataIndex":0,"data":[0,0,7,233]}]}})");
  ASSERT_TRUE(answer && answer->ok);
  const std::optional<RawResult> raw = ReadRawResultData(answer->data, records, 2);
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->num_msgs, 3u);
  EXPECT_EQ(raw->filled, 2u);
  EXPECT_EQ(records[1].RxStatus, 1u);
  EXPECT_EQ(records[1].Data[3], 224);
}

TEST(WireTexts, ATextIsCutToItsRoomBeforeACharacterThatWouldNotFit) {
  char out[kTextRoom];
  CopyText(std::string(78, 'a') + "\xC3\xA9" + "tail", out);  // "é" would end at byte 80
  EXPECT_EQ(std::string(out), std::string(78, 'a'));
  CopyText("short", out);
  EXPECT_STREQ(out, "short");
}

TEST(WireVoltages, VoltsBecomeMillivolts) {
  EXPECT_EQ(ReadMillivoltsData("12.6"), 12600u);
  EXPECT_EQ(ReadMillivoltsData("0.0"), 0u);
  EXPECT_EQ(ReadMillivoltsData("18"), 18000u);
  EXPECT_FALSE(ReadMillivoltsData("null"));
}

}  // namespace
}  // namespace tarnix::shim
