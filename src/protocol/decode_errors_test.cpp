// Decoding errors: their exact texts, their positions, and which error wins when several apply.
#include <gtest/gtest.h>

#include <string>

#include "protocol/request.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

struct ErrorCase {
  std::string line;
  std::string expected;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.line;
}

class RejectsLine : public testing::TestWithParam<ErrorCase> {};

TEST_P(RejectsLine, WithTheExactText) {
  const ErrorCase& c = GetParam();
  auto decoded = DecodeMessage(c.line);
  ASSERT_FALSE(decoded.ok()) << RenderRequest(decoded->request);
  EXPECT_EQ(decoded.error().text, c.expected);
}

// The texts that clients rely on, exactly as agreed.
INSTANTIATE_TEST_SUITE_P(
    AgreedExamples, RejectsLine,
    testing::Values(
        ErrorCase{R"({"id":7,"method":"Close","params":{}})",
                  "invalid type: map, expected unit variant Request::Close at line 1 column 37"},
        ErrorCase{R"({"id":-1,"method":"Close"})",
                  "invalid value: integer `-1`, expected u64 at line 1 column 8"},
        ErrorCase{R"({"id":1.5,"method":"Close"})",
                  "invalid type: floating point `1.5`, expected u64 at line 1 column 9"},
        ErrorCase{R"({"id":"1","method":"Close"})",
                  R"(invalid type: string "1", expected u64 at line 1 column 9)"},
        ErrorCase{R"({"method":"Close"})", "missing field `id` at line 1 column 18"},
        ErrorCase{R"({"id":1,"id":2,"method":"Close"})",
                  "duplicate field `id` at line 1 column 12"},
        ErrorCase{
            R"({"id":1,"method":"ReadMessages","params":{"timeout_ms":50,"batch_size":null}})",
            "invalid type: null, expected u32 at line 1 column 77"},
        ErrorCase{
            R"({"id":1,"method":"SendMessagesBatch","params":{"messages":[{"arb_id":1,"data":[],"extended":false}]}})",
            "missing field `arbId` at line 1 column 101"},
        ErrorCase{
            R"({"id":1,"method":"KlineInit","params":{"init_mode":"Auto"}})",
            "unknown variant `Auto`, expected one of `fast`, `slow`, `auto` at line 1 column 59"},
        ErrorCase{
            R"({"id":1,"method":35})",
            "invalid value: integer `35`, expected variant index 0 <= i < 35 at line 1 column 20"},
        ErrorCase{
            R"({"id":1,"method":"SendMessage","params":{"arb_id":1,"data":[256],"extended":false}})",
            "invalid value: integer `256`, expected u8 at line 1 column 83"},
        ErrorCase{R"({"id":1,"method":"Open"})", "missing field `params` at line 1 column 24"},
        ErrorCase{R"({"id":1,"method":"Close"} x)", "trailing characters at line 1 column 27"},
        ErrorCase{"[1]", "invalid type: sequence, expected struct Message at line 1 column 0"},
        ErrorCase{"   ", "EOF while parsing a value at line 1 column 3"}));

TEST(DecodeMessage, UnknownMethodListsEveryName) {
  auto decoded = DecodeMessage(R"({"id":1,"method":"close"})");
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.error().text,
            "unknown variant `close`, expected one of `EnumerateDevices`, `Open`, `Close`, "
            "`SendMessage`, `SendMessagesBatch`, `WriteMessagesRaw`, `ReadMessages`, "
            "`ReadMessagesWithLoopback`, `ReadMessagesRaw`, `ClearBuffers`, `ReadVersion`, "
            "`GetLastError`, `ReadBatteryVoltage`, `ReadProgrammingVoltage`, `FastInit`, "
            "`FiveBaudInit`, `KlineInit`, `StartPeriodicMessage`, `StopPeriodicMessage`, "
            "`ClearPeriodicMessages`, `AddFilter`, `AddFilterRaw`, `RemoveFilter`, `ClearFilters`, "
            "`GetConfig`, `SetConfig`, `GetLoopback`, `SetLoopback`, `GetDataRate`, `Shutdown`, "
            "`SetProgrammingVoltage`, `ScanDevices`, `ConnectChannel`, `DisconnectChannel`, "
            "`Ioctl` at line 1 column 25");
}

// The id is checked while it is read, so its errors win over anything later in the line; every
// other envelope error is found at the closing brace, before trailing characters.
INSTANTIATE_TEST_SUITE_P(
    Envelope, RejectsLine,
    testing::Values(
        ErrorCase{R"({"id":null})", "invalid type: null, expected u64 at line 1 column 10"},
        ErrorCase{R"({"id":true})",
                  "invalid type: boolean `true`, expected u64 at line 1 column 10"},
        ErrorCase{R"({"id":[1]})", "invalid type: sequence, expected u64 at line 1 column 6"},
        ErrorCase{R"({"id": {}})", "invalid type: map, expected u64 at line 1 column 7"},
        ErrorCase{R"({"id":-0})",
                  "invalid type: floating point `-0.0`, expected u64 at line 1 column 8"},
        ErrorCase{R"({"id":1e2})",
                  "invalid type: floating point `100.0`, expected u64 at line 1 column 9"},
        ErrorCase{R"({"id":18446744073709551616})",
                  "invalid type: floating point `1.8446744073709552e19`, expected u64 at line 1 "
                  "column 26"},
        ErrorCase{
            R"({"id":"a\u001b\u007f\n\t\r\u0000\"\\ü"})",
            R"(invalid type: string "a\u{1b}\u{7f}\n\t\r\0\"\\ü", expected u64 at line 1 column 39)"},
        ErrorCase{R"({"id":-1,"method":)",
                  "invalid value: integer `-1`, expected u64 at line 1 column 8"},
        ErrorCase{R"({"method":"Nope","id":-2})",
                  "invalid value: integer `-2`, expected u64 at line 1 column 24"},
        ErrorCase{R"({"id":1,"id":x)", "duplicate field `id` at line 1 column 12"},
        ErrorCase{R"({"method":"Nope"})", "missing field `id` at line 1 column 17"},
        ErrorCase{R"({"id":1})", "missing field `method` at line 1 column 8"},
        ErrorCase{R"({"id":1,"method":"Nope"} x)",
                  "unknown variant `Nope`, expected one of `EnumerateDevices`, `Open`, `Close`, "
                  "`SendMessage`, `SendMessagesBatch`, `WriteMessagesRaw`, `ReadMessages`, "
                  "`ReadMessagesWithLoopback`, `ReadMessagesRaw`, `ClearBuffers`, `ReadVersion`, "
                  "`GetLastError`, `ReadBatteryVoltage`, `ReadProgrammingVoltage`, `FastInit`, "
                  "`FiveBaudInit`, `KlineInit`, `StartPeriodicMessage`, `StopPeriodicMessage`, "
                  "`ClearPeriodicMessages`, `AddFilter`, `AddFilterRaw`, `RemoveFilter`, "
                  "`ClearFilters`, `GetConfig`, `SetConfig`, `GetLoopback`, `SetLoopback`, "
                  "`GetDataRate`, `Shutdown`, `SetProgrammingVoltage`, `ScanDevices`, "
                  "`ConnectChannel`, `DisconnectChannel`, `Ioctl` at line 1 column 24"},
        ErrorCase{R"({"id":1,"method":"Close"}{})", "trailing characters at line 1 column 26"},
        ErrorCase{"5", "invalid type: integer `5`, expected struct Message at line 1 column 1"},
        ErrorCase{R"(  "x")",
                  R"(invalid type: string "x", expected struct Message at line 1 column 5)"},
        ErrorCase{"{\"id\":1,\n\"method\":\"Open\"}",
                  "missing field `params` at line 2 column 16"}));

// Where "method" and "params" meet: each is decoded as soon as it can be, and a repeated member
// is an error only once it is reached.
INSTANTIATE_TEST_SUITE_P(
    MethodAndParams, RejectsLine,
    testing::Values(
        ErrorCase{R"({"id":1,"method":"Close","method":"Close"})",
                  "duplicate field `method` at line 1 column 42"},
        ErrorCase{
            R"({"id":1,"method":5.5,"method":"Close"})",
            "invalid type: floating point `5.5`, expected variant identifier at line 1 column 38"},
        ErrorCase{R"({"id":1,"params":{},"params":{}})",
                  "duplicate field `params` at line 1 column 32"},
        ErrorCase{R"({"id":1,"params":{"timeout_ms":1}})",
                  "missing field `method` at line 1 column 34"},
        ErrorCase{R"({"id":1,"params":{"timeout_ms":null},"method":"ReadMessages","method":2})",
                  "invalid type: null, expected u32 at line 1 column 72"},
        ErrorCase{R"({"id":1,"params":{"timeout_ms":1},"method":"ReadMessages","params":5})",
                  "duplicate field `params` at line 1 column 69"},
        ErrorCase{R"({"id":1,"method":"ReadMessages","params":{"timeout_ms":1},"method":5})",
                  "duplicate field `method` at line 1 column 69"},
        ErrorCase{R"({"id":1,"method":-1})",
                  "invalid type: integer `-1`, expected variant identifier at line 1 column 20"},
        ErrorCase{R"({"id":1,"method":null})",
                  "invalid type: null, expected variant identifier at line 1 column 22"},
        ErrorCase{
            R"({"id":1,"method":"Open","params":[]})",
            "invalid type: sequence, expected struct variant Request::Open at line 1 column 36"},
        ErrorCase{R"({"id":1,"method":"Open","params":null})",
                  "invalid type: null, expected struct variant Request::Open at line 1 column 38"},
        ErrorCase{R"({"id":1,"method":29,"params":[]})",
                  "invalid type: sequence, expected unit variant Request::Shutdown at line 1 "
                  "column 32"}));

// Parameter errors are all found after the whole object was read, so they stand at its closing
// brace (the end of these lines); the first bad value in text order wins over absent ones.
struct ParamCase {
  std::string params;  // the members of "params"
  const char* method;
  std::string expected;  // without position
};

void PrintTo(const ParamCase& c, std::ostream* os) {
  *os << c.method << " " << c.params;
}

class RejectsParams : public testing::TestWithParam<ParamCase> {};

TEST_P(RejectsParams, AtTheClosingBrace) {
  const ParamCase& c = GetParam();
  const std::string line =
      std::string(R"({"id":1,"method":")") + c.method + R"(","params":{)" + c.params + "}}";
  auto decoded = DecodeMessage(line);
  ASSERT_FALSE(decoded.ok()) << RenderRequest(decoded->request);
  EXPECT_EQ(decoded.error().text, c.expected + " at line 1 column " + std::to_string(line.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Values, RejectsParams,
    testing::Values(
        ParamCase{R"("timeout_ms":-1)", "ReadMessages",
                  "invalid value: integer `-1`, expected u32"},
        ParamCase{R"("timeout_ms":4294967296)", "ReadMessages",
                  "invalid value: integer `4294967296`, expected u32"},
        ParamCase{R"("timeout_ms":1.0)", "ReadMessages",
                  "invalid type: floating point `1.0`, expected u32"},
        ParamCase{R"("timeout_ms":"5")", "ReadMessages",
                  R"(invalid type: string "5", expected u32)"},
        ParamCase{R"("timeout_ms":true)", "ReadMessages",
                  "invalid type: boolean `true`, expected u32"},
        ParamCase{R"("timeout_ms":1,"timeout_ms":2)", "ReadMessages",
                  "duplicate field `timeout_ms`"},
        ParamCase{R"("batch_size":5)", "ReadMessages", "missing field `timeout_ms`"},
        ParamCase{R"("arb_id":1,"data":[1],"extended":1)", "SendMessage",
                  "invalid type: integer `1`, expected a boolean"},
        ParamCase{R"("arb_id":1,"data":"AQ==","extended":true)", "SendMessage",
                  R"(invalid type: string "AQ==", expected a sequence)"},
        ParamCase{R"("data":[1,-1])", "SendMessage", "invalid value: integer `-1`, expected u8"},
        ParamCase{R"("data":[{}])", "FastInit", "invalid type: map, expected u8"},
        ParamCase{R"("extended":true)", "SendMessage", "missing field `arb_id`"},
        ParamCase{R"("arb_id":1)", "SendMessage", "missing field `data`"},
        ParamCase{R"("data":5)", "SendMessage", "invalid type: integer `5`, expected a sequence"},
        ParamCase{R"("dll_path":5,"protocol_id":1,"baud_rate":1)", "Open",
                  "invalid type: integer `5`, expected a string"},
        ParamCase{R"("dll_path":"x","protocol_id":1,"baud_rate":1,"connect_flags":null)", "Open",
                  "invalid type: null, expected u32"},
        ParamCase{R"("init_mode":3)", "KlineInit",
                  "invalid value: integer `3`, expected variant index 0 <= i < 3"},
        ParamCase{R"("init_mode":true)", "KlineInit",
                  "invalid type: boolean `true`, expected variant identifier"},
        ParamCase{R"("init_mode":null)", "KlineInit",
                  "invalid type: null, expected variant identifier"},
        ParamCase{R"("cc_timeout_ms":5)", "KlineInit", "missing field `init_mode`"},
        ParamCase{R"("init_mode":"fast","cc_timeout_ms":-5)", "KlineInit",
                  "invalid value: integer `-5`, expected u32"},
        ParamCase{R"("init_mode":"fast","fast_init_data":null,"fast_init_data":[1])", "KlineInit",
                  "duplicate field `fast_init_data`"},
        ParamCase{R"("messages":[[1,[]]])", "SendMessagesBatch",
                  "invalid length 2, expected struct wire::BatchMessage with 3 elements"},
        ParamCase{R"("messages":[[]])", "SendMessagesBatch",
                  "invalid length 0, expected struct wire::BatchMessage with 3 elements"},
        ParamCase{R"("messages":[[1,[],true,4,5]])", "SendMessagesBatch",
                  "invalid length 5, expected 3 elements in sequence"},
        ParamCase{R"("messages":[[1,"x",true,4]])", "SendMessagesBatch",
                  R"(invalid type: string "x", expected a sequence)"},
        ParamCase{R"("messages":[5])", "SendMessagesBatch",
                  "invalid type: integer `5`, expected struct wire::BatchMessage"},
        ParamCase{R"("messages":{})", "SendMessagesBatch",
                  "invalid type: map, expected a sequence"},
        ParamCase{R"("messages":[{"arbId":1,"arbId":2}])", "SendMessagesBatch",
                  "duplicate field `arbId`"},
        ParamCase{R"("messages":[{"arbId":1,"data":[]}],"timeout_ms":1)", "WriteMessagesRaw",
                  "missing field `extended`"},
        ParamCase{R"("messages":[])", "WriteMessagesRaw", "missing field `timeout_ms`"},
        ParamCase{R"("filter_type":"flow_control","mask":[],"pattern":[],"extended":false,)"
                  R"("flow_control":"07E0")",
                  "AddFilter", R"(invalid type: string "07E0", expected a sequence)"},
        ParamCase{R"("filter_type":"flow_control","mask":[],"pattern":[],"extended":false,)"
                  R"("flow_control":[7,256])",
                  "AddFilterRaw", "invalid value: integer `256`, expected u8"},
        ParamCase{R"("flow_control":[7,-1],"filter_type":"flow_control")", "AddFilter",
                  "invalid value: integer `-1`, expected u8"},
        ParamCase{R"("flow_control":[],"flow_control":null)", "AddFilterRaw",
                  "duplicate field `flow_control`"},
        // The members beyond the base protocol: pairs, alternatives, records and named choices.
        ParamCase{R"("dll_path":"x","protocol_id":6)", "Open", "missing field `baud_rate`"},
        ParamCase{R"("dll_path":"x","baud_rate":1,"protocol_id":null)", "Open",
                  "missing field `protocol_id`"},
        ParamCase{R"("timeout_ms":1,"records":null)", "WriteMessagesRaw",
                  "missing field `messages`"},
        ParamCase{R"("timeout_ms":1,"records":[{"txFlags":64}])", "WriteMessagesRaw",
                  "missing field `data`"},
        ParamCase{R"("interval_ms":5,"record":{"data":[],"protocolId":-1})", "StartPeriodicMessage",
                  "invalid value: integer `-1`, expected u32"},
        ParamCase{R"("pin":12,"voltage":"on")", "SetProgrammingVoltage",
                  "unknown variant `on`, expected one of `off`, `ground`"},
        ParamCase{R"("ioctl_id":1,"output":"list")", "Ioctl",
                  "unknown variant `list`, expected one of `none`, `number`, `bytes`, "
                  "`parameters`, `record`"},
        ParamCase{R"("parameters":[{"parameter":1}])", "SetConfig", "missing field `value`"},
        ParamCase{R"("channel":-2)", "ClearFilters", "invalid value: integer `-2`, expected u32"},
        ParamCase{R"("filter_type":1.5,"mask":[],"pattern":[],"extended":false)", "AddFilterRaw",
                  "invalid type: floating point `1.5`, expected u32"}));

}  // namespace
}  // namespace tarnix::protocol
