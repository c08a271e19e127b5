// Decoding of well-formed request lines: every method, defaults, optional parameters, envelopes.
#include <gtest/gtest.h>

#include "protocol/request.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

struct DecodeCase {
  const char* line;
  Request expected;
};

class DecodesMethod : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodesMethod, ToTheExpectedRequest) {
  const DecodeCase& c = GetParam();
  auto decoded = DecodeMessage(c.line);
  ASSERT_TRUE(decoded.ok()) << decoded.error().text;
  EXPECT_EQ(decoded->id, 1u);
  EXPECT_EQ(decoded->request.index(), c.expected.index()) << MethodName(decoded->request);
  EXPECT_TRUE(decoded->request == c.expected) << RenderRequest(decoded->request);
}

const wire::BatchMessage kFrame{0x7E0, {2, 0x3E, 0}, false};

// Every method by name, parameters given in full or left to their defaults.
INSTANTIATE_TEST_SUITE_P(
    EveryMethod, DecodesMethod,
    testing::Values(
        DecodeCase{R"({"id":1,"method":"EnumerateDevices"})", EnumerateDevices{}},
        DecodeCase{
            R"({"id":1,"method":"Open","params":{"dll_path":"C:\\pt.dll","protocol_id":6,"baud_rate":500000,"connect_flags":256}})",
            Open{"C:\\pt.dll", 6, 500000, 256}},
        DecodeCase{
            R"({"id":1,"method":"Open","params":{"dll_path":"x","protocol_id":5,"baud_rate":250000}})",
            Open{"x", 5, 250000, 0}},
        DecodeCase{R"({"id":1,"method":"Close","params":null})", Close{}},
        DecodeCase{
            R"({"id":1,"method":"SendMessage","params":{"arb_id":2016,"data":[2,1,0],"extended":false}})",
            SendMessage{2016, {2, 1, 0}, false}},
        DecodeCase{
            R"({"id":1,"method":"SendMessagesBatch","params":{"messages":[{"arbId":2016,"data":[2,62,0],"extended":false}]}})",
            SendMessagesBatch{{kFrame}}},
        DecodeCase{
            R"({"id":1,"method":"SendMessagesBatch","params":{"messages":[[2016,[2,62,0],false],{"extended":true,"data":[],"arbId":4294967295}]}})",
            SendMessagesBatch{{kFrame, wire::BatchMessage{0xFFFFFFFF, {}, true}}}},
        DecodeCase{
            R"({"id":1,"method":"WriteMessagesRaw","params":{"messages":[],"timeout_ms":10}})",
            WriteMessagesRaw{{}, 10}},
        DecodeCase{R"({"id":1,"method":"ReadMessages","params":{"timeout_ms":50}})",
                   ReadMessages{50, 256, 64}},
        DecodeCase{
            R"({"id":1,"method":"ReadMessages","params":{"max_drain_reads":0,"timeout_ms":0,"batch_size":1}})",
            ReadMessages{0, 1, 0}},
        DecodeCase{R"({"id":1,"method":"ReadMessagesWithLoopback","params":{"timeout_ms":7}})",
                   ReadMessagesWithLoopback{7}},
        DecodeCase{R"({"id":1,"method":"ReadMessagesRaw","params":{"timeout_ms":7,"max_msgs":3}})",
                   ReadMessagesRaw{7, 3}},
        DecodeCase{R"({"id":1,"method":"ClearBuffers"})", ClearBuffers{}},
        DecodeCase{R"({"id":1,"method":"ReadVersion"})", ReadVersion{}},
        DecodeCase{R"({"id":1,"method":"GetLastError"})", GetLastError{}},
        DecodeCase{R"({"id":1,"method":"ReadBatteryVoltage"})", ReadBatteryVoltage{}},
        DecodeCase{R"({"id":1,"method":"ReadProgrammingVoltage"})", ReadProgrammingVoltage{}},
        DecodeCase{R"({"id":1,"method":"FastInit","params":{"data":[129,17,241,129]}})",
                   FastInit{{0x81, 0x11, 0xF1, 0x81}}},
        DecodeCase{R"({"id":1,"method":"FiveBaudInit","params":{"data":[51]}})",
                   FiveBaudInit{{0x33}}},
        DecodeCase{R"({"id":1,"method":"KlineInit","params":{"init_mode":"fast"}})",
                   KlineInit{wire::KlineInitMode::Fast, std::nullopt, std::nullopt, std::nullopt}},
        DecodeCase{
            R"({"id":1,"method":"KlineInit","params":{"init_mode":"auto","five_baud_address":[51],"fast_init_data":null,"cc_timeout_ms":300}})",
            KlineInit{wire::KlineInitMode::Auto, std::nullopt, wire::Bytes{0x33}, 300u}},
        DecodeCase{R"({"id":1,"method":"KlineInit","params":{"init_mode":1,"fast_init_data":[]}})",
                   KlineInit{wire::KlineInitMode::Slow, wire::Bytes{}, std::nullopt, std::nullopt}},
        DecodeCase{
            R"({"id":1,"method":"StartPeriodicMessage","params":{"arb_id":1,"data":[62],"interval_ms":2000,"extended":true}})",
            StartPeriodicMessage{1, {62}, 2000, true}},
        DecodeCase{R"({"id":1,"method":"StopPeriodicMessage","params":{"msg_id":4}})",
                   StopPeriodicMessage{4}},
        DecodeCase{R"({"id":1,"method":"ClearPeriodicMessages"})", ClearPeriodicMessages{}},
        DecodeCase{
            R"({"id":1,"method":"AddFilter","params":{"filter_type":"pass","mask":[255],"pattern":[1],"extended":false}})",
            AddFilter{"pass", {255}, {1}, false, std::nullopt}},
        DecodeCase{
            R"({"id":1,"method":"AddFilterRaw","params":{"filter_type":"flow","mask":[],"pattern":[],"extended":true}})",
            AddFilterRaw{"flow", {}, {}, true, std::nullopt}},
        DecodeCase{
            R"({"id":1,"method":"AddFilter","params":{"filter_type":"flow_control","mask":[255],"pattern":[232],"extended":false,"flow_control":[7,224]}})",
            AddFilter{"flow_control", {255}, {232}, false, wire::Bytes{7, 224}}},
        DecodeCase{
            R"({"id":1,"method":"AddFilterRaw","params":{"flow_control":[],"filter_type":"flow_control","mask":[],"pattern":[],"extended":true}})",
            AddFilterRaw{"flow_control", {}, {}, true, wire::Bytes{}}},
        DecodeCase{
            R"({"id":1,"method":"AddFilterRaw","params":{"filter_type":"pass","mask":[],"pattern":[],"extended":true,"flow_control":null}})",
            AddFilterRaw{"pass", {}, {}, true, std::nullopt}},
        DecodeCase{R"({"id":1,"method":"RemoveFilter","params":{"filter_id":9}})", RemoveFilter{9}},
        DecodeCase{R"({"id":1,"method":"ClearFilters"})", ClearFilters{}},
        DecodeCase{R"({"id":1,"method":"GetConfig","params":{"parameter":1}})", GetConfig{1}},
        DecodeCase{R"({"id":1,"method":"SetConfig","params":{"parameter":1,"value":500000}})",
                   SetConfig{1, 500000}},
        DecodeCase{R"({"id":1,"method":"GetLoopback"})", GetLoopback{}},
        DecodeCase{R"({"id":1,"method":"SetLoopback","params":{"enabled":true}})",
                   SetLoopback{true}},
        DecodeCase{R"({"id":1,"method":"GetDataRate"})", GetDataRate{}},
        DecodeCase{R"({"id":1,"method":"Shutdown"})", Shutdown{}}));

RecordParam ParamRecord(Bytes data, std::optional<uint32_t> protocol = std::nullopt,
                        uint32_t tx_flags = 0) {
  RecordParam record;
  record.protocol_id = protocol;
  record.tx_flags = tx_flags;
  record.data = std::move(data);
  return record;
}

template <typename T>
T OnChannel(T request, uint32_t channel) {
  request.channel = channel;
  return request;
}

// The members and methods beyond the base protocol.
INSTANTIATE_TEST_SUITE_P(
    BeyondTheBase, DecodesMethod,
    testing::Values(
        DecodeCase{
            R"({"id":1,"method":"Open","params":{"dll_path":"x","device_name":"pt","j1962_pins":[6,14],"protocol_id":null}})",
            Open{"x", std::nullopt, std::nullopt, 0, "pt", Bytes{6, 14}}},
        DecodeCase{R"({"id":1,"method":"ClearBuffers","params":{"channel":3,"buffer":"rx"}})",
                   OnChannel(ClearBuffers{BufferChoice::Rx}, 3)},
        DecodeCase{R"({"id":1,"method":"ClearFilters","params":{}})", ClearFilters{}},
        DecodeCase{
            R"({"id":1,"method":"WriteMessagesRaw","params":{"timeout_ms":9,"records":[{"data":[1],"txFlags":64,"protocolId":5,"dataSize":77}]}})",
            WriteMessagesRaw{{}, 9, std::vector<RecordParam>{ParamRecord({1}, 5, 64)}}},
        DecodeCase{
            R"({"id":1,"method":"ReadMessagesRaw","params":{"timeout_ms":1,"max_msgs":300,"as_records":true,"channel":4}})",
            OnChannel(ReadMessagesRaw{1, 300, true}, 4)},
        DecodeCase{
            R"({"id":1,"method":"StartPeriodicMessage","params":{"interval_ms":100,"record":{"data":[0,0,7,223]}}})",
            StartPeriodicMessage{0, {}, 100, false, ParamRecord({0, 0, 7, 223})}},
        DecodeCase{
            R"({"id":1,"method":"AddFilterRaw","params":{"filter_type":3,"pattern":[1],"mask_record":{"data":[255]}}})",
            AddFilterRaw{"", {}, {1}, false, std::nullopt, 3, ParamRecord({255})}},
        DecodeCase{R"({"id":1,"method":"GetConfig","params":{"parameters":[1,3]}})",
                   GetConfig{0, std::vector<uint32_t>{1, 3}}},
        DecodeCase{
            R"({"id":1,"method":"SetConfig","params":{"parameters":[{"parameter":3,"value":1}]}})",
            SetConfig{0, 0, std::vector<ConfigEntry>{{3, 1}}}},
        DecodeCase{R"({"id":1,"method":"ReadBatteryVoltage","params":{"device":true}})",
                   ReadBatteryVoltage{true}},
        DecodeCase{R"({"id":1,"method":30,"params":{"pin":15,"voltage":"ground"}})",
                   SetProgrammingVoltage{15, kShortToGround}},
        DecodeCase{R"({"id":1,"method":"ScanDevices","params":{"dll_path":"x"}})",
                   ScanDevices{"x"}},
        DecodeCase{
            R"({"id":1,"method":"ConnectChannel","params":{"protocol_id":32773,"baud_rate":500000,"j1962_pins":[6,14],"buffered":false}})",
            ConnectChannel{0x8005, 500000, 0, Bytes{6, 14}, false}},
        DecodeCase{R"({"id":1,"method":"DisconnectChannel","params":{"channel":3}})",
                   DisconnectChannel{3}},
        DecodeCase{
            R"({"id":1,"method":"Ioctl","params":{"ioctl_id":12,"input_bytes":[106],"output":"number","output_parameters":[1]}})",
            Ioctl{{12, std::nullopt, Bytes{106}, std::nullopt, std::nullopt, IoctlOutput::Number,
                   std::vector<uint32_t>{1}}}}));

// The envelope's freedoms: member order, extra members, blanks, escapes, method numbers.
INSTANTIATE_TEST_SUITE_P(
    Envelope, DecodesMethod,
    testing::Values(
        DecodeCase{R"({"method":"Close","id":1})", Close{}},
        DecodeCase{R"({"params":{"timeout_ms":5},"method":"ReadMessages","id":1})",
                   ReadMessages{5, 256, 64}},
        DecodeCase{R"({"jsonrpc":"2.0","id":1,"method":"Close","extra":{"id":[1,2,{}]}})", Close{}},
        DecodeCase{" \t{ \"id\" : 1 , \"method\" : \"Close\" } \r\t ", Close{}},
        DecodeCase{R"({"\u0069d":1,"method":"Cl\u006fse"})", Close{}},
        DecodeCase{R"({"id":1,"method":2})", Close{}},
        DecodeCase{R"({"id":1,"method":29})", Shutdown{}},
        DecodeCase{
            R"({"id":1,"method":"SetLoopback","params":{"enabled":false,"unknown":[[["x"]]]}})",
            SetLoopback{false}},
        DecodeCase{
            R"({"id":1,"method":"Open","params":{"dll_path":"\ud83d\ude00 \u00fc\n","protocol_id":6,"baud_rate":1}})",
            Open{"\xF0\x9F\x98\x80 \xC3\xBC\n", 6, 1, 0}},
        DecodeCase{"{\"id\":1,\"method\":\"Open\",\"params\":{\"dll_path\":\"\xC3\xBC\",\"protocol_"
                   "id\":6,\"baud_rate\":1}}",
                   Open{"\xC3\xBC", 6, 1, 0}}));

TEST(DecodeMessage, IdsUpToTheLargest64BitValue) {
  for (const auto& [line, id] :
       {std::pair{R"({"id":0,"method":"Close"})", uint64_t{0}},
        {R"({"id":18446744073709551615,"method":"Close"})", uint64_t{18446744073709551615u}}}) {
    auto decoded = DecodeMessage(line);
    ASSERT_TRUE(decoded.ok()) << decoded.error().text;
    EXPECT_EQ(decoded->id, id);
  }
}

// Numbers that the tokeniser cannot hold itself but that are valid doubles are still accepted
// where they are ignored, and still described correctly where they are wrong.
TEST(DecodeMessage, NumbersBeyondTheTokenisersLimits) {
  const std::string zeros(400, '0');
  auto ignored =
      DecodeMessage(R"({"id":3,"x":[0e400,1)" + zeros + "e-390,-1e-400],\"method\":\"Close\"}");
  ASSERT_TRUE(ignored.ok()) << ignored.error().text;
  EXPECT_EQ(ignored->id, 3u);
  auto described = DecodeMessage(R"({"id":1)" + zeros + "e-390}");
  ASSERT_FALSE(described.ok());
  EXPECT_EQ(described.error().text,
            "invalid type: floating point `10000000000.0`, expected u64 at line 1 column " +
                std::to_string(7 + zeros.size() + 5));
}

// The line of many long numbers that once made decoding cubic, small: each number is judged by
// its own text, wherever it stands and whatever came before it.
TEST(DecodeMessage, ManyLongNumbersEachReadOnItsOwn) {
  const std::string ten = "1" + std::string(310, '0') + "e-300";  // 1e10
  const std::string two = "2" + std::string(310, '0') + "e-305";  // 2e5
  std::string earlier;
  for (int i = 0; i < 40; ++i)
    earlier += (i % 2 ? two : ten) + ",";
  const std::string line = R"({"id":7,"x":[)" + earlier + ten + R"(],"method":"SetConfig",)" +
                           R"("params":{"value":1,"parameter":)" + two + "}}";
  auto decoded = DecodeMessage(line);
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.error().text,
            "invalid type: floating point `200000.0`, expected u32 at line 1 column " +
                std::to_string(line.size()));
  auto ignored = DecodeMessage(R"({"id":7,"method":"GetLoopback","x":[)" + earlier + ten + "]}");
  ASSERT_TRUE(ignored.ok()) << ignored.error().text;
  EXPECT_EQ(ignored->request, Request(GetLoopback{}));
}

// Batch frames go straight into the request: strings holding brackets, commas and escaped quotes
// do not disturb the frame count, and params met before the method decode alike.
TEST(DecodeMessage, BatchFramesStraightFromTheLine) {
  const std::string messages =
      R"({"messages":[[1,[2],true],{"note":"],[\"{,","arbId":3,"data":[],"extended":false},)"
      R"([4294967295,[255,0],false]]})";
  const SendMessagesBatch expected{{wire::BatchMessage{1, {2}, true},
                                    wire::BatchMessage{3, {}, false},
                                    wire::BatchMessage{0xFFFFFFFF, {255, 0}, false}}};
  for (const std::string& line :
       {R"({"id":1,"method":"SendMessagesBatch","params":)" + messages + "}",
        R"({"id":1,"params":)" + messages + R"(,"method":"SendMessagesBatch"})"}) {
    auto decoded = DecodeMessage(line);
    ASSERT_TRUE(decoded.ok()) << decoded.error().text;
    EXPECT_EQ(decoded->request, Request(expected)) << line;
  }
}

TEST(MethodName, NamesEveryMethodInWireOrder) {
  EXPECT_EQ(MethodName(0), "EnumerateDevices");
  EXPECT_EQ(MethodName(6), "ReadMessages");
  EXPECT_EQ(MethodName(29), "Shutdown");
  EXPECT_EQ(MethodName(34), "Ioctl");
  EXPECT_EQ(MethodName(35), "");
  EXPECT_EQ(MethodName(Request(KlineInit{})), "KlineInit");
}

}  // namespace
}  // namespace tarnix::protocol
