// Ioctl, filter and periodic-message operations against ptsim, checked through its call log.
#include <gtest/gtest.h>

#include <functional>

#include "j2534/filters.h"
#include "j2534/ioctl.h"
#include "j2534/periodic.h"
#include "j2534/ptsim_fixture.h"
#include "passthru/numbers.h"
#include "wire/types.h"

namespace tarnix::j2534 {
namespace {

using OperationsTest = PtsimTest;

// Runs an operation for its error text only.
using Operation = std::function<std::optional<PassThruError>(const Connection&)>;

TEST_F(OperationsTest, ConfigurationAndVoltages) {
  Env("PTSIM_VBATT", "13800");
  std::optional<Connection> connection = Open("ptsim0404", passthru::kIso15765);
  ASSERT_TRUE(connection);
  EXPECT_EQ(*GetDataRate(*connection), kBaud);
  EXPECT_FALSE(*GetLoopback(*connection));
  ASSERT_TRUE(SetConfig(*connection, passthru::kLoopback, 2).ok());
  EXPECT_TRUE(*GetLoopback(*connection));  // any non-zero value
  ASSERT_TRUE(SetLoopback(*connection, false).ok());
  EXPECT_EQ(*GetConfig(*connection, passthru::kLoopback), 0u);
  ASSERT_TRUE(SetConfig(*connection, 0x20, 77).ok());  // passed through unchanged
  EXPECT_EQ(*GetConfig(*connection, 0x20), 77u);
  EXPECT_DOUBLE_EQ(*ReadBatteryVoltage(*connection), 13.8);
  EXPECT_DOUBLE_EQ(*ReadProgrammingVoltage(*connection), 0.0);
  for (const Call& call : CallsOf("PassThruIoctl"))
    EXPECT_EQ(Num(call, "handle"), 2);
  ASSERT_TRUE(ClearBuffers(*connection).ok());
  std::vector<Call> ioctls = CallsOf("PassThruIoctl");
  ASSERT_GE(ioctls.size(), 2u);
  EXPECT_EQ(Str(ioctls[ioctls.size() - 2], "ioctl"), "CLEAR_TX_BUFFER");
  EXPECT_EQ(Str(ioctls.back(), "ioctl"), "CLEAR_RX_BUFFER");
  EXPECT_TRUE(ioctls.back()["input"].IsNull());
}

TEST_F(OperationsTest, VersionsAndLastError) {
  std::optional<Connection> connection = Open("ptsim0500", passthru::kCan);
  ASSERT_TRUE(connection);
  EXPECT_EQ(*ReadVersion(*connection),
            (wire::VersionInfo{"ptsim firmware 1.0", "ptsim 1.0 (ptsim0500)", "05.00"}));
  EXPECT_EQ(Num(CallsOf("PassThruReadVersion").at(0), "deviceId"), 1);
  EXPECT_EQ(*ReadLastError(*connection), "");
  EXPECT_FALSE(RemoveFilter(*connection, 99).ok());
  EXPECT_EQ(*ReadLastError(*connection), "PassThruStopMsgFilter: filter 99 does not exist");
  connection.reset();

  Env("PTSIM_MISBEHAVE", "version_fill");
  Env("PTSIM_FAIL", "PassThruGetLastError=7");
  Env("PTSIM_LAST_ERROR", " left \xFF behind ");
  connection = Open("ptsim0404", passthru::kCan);
  ASSERT_TRUE(connection);
  wire::VersionInfo version = *ReadVersion(*connection);
  EXPECT_EQ(version.firmware_version, "ptsim firmware 1.0" + std::string(62, '.'));
  EXPECT_EQ(version.api_version.size(), 80u);
  // The status of PassThruGetLastError is ignored; ptsim leaves the buffer empty when refusing.
  EXPECT_EQ(*ReadLastError(*connection), "");
}

TEST_F(OperationsTest, FailuresHaveTheirOwnTexts) {
  struct Case {
    const char* fail;
    Operation operation;
    std::string error;
  };
  const Case cases[] = {
      {"PassThruIoctl.GET_CONFIG=7", [](auto& c) { return ErrorOf(GetConfig(c, 0x20)); },
       "ERR_J2534_GET_CONFIG_FAILED: error code 7 (ERR_FAILED)"},
      {"PassThruIoctl.GET_CONFIG=7", [](auto& c) { return ErrorOf(GetLoopback(c)); },
       "ERR_J2534_GET_CONFIG_FAILED: error code 7 (ERR_FAILED)"},
      {"PassThruIoctl.GET_CONFIG=7", [](auto& c) { return ErrorOf(GetDataRate(c)); },
       "ERR_J2534_GET_CONFIG_FAILED: error code 7 (ERR_FAILED)"},
      {"PassThruIoctl.SET_CONFIG=5", [](auto& c) { return ErrorOf(SetLoopback(c, true)); },
       "ERR_J2534_SET_CONFIG_FAILED: error code 5 (ERR_INVALID_IOCTL_VALUE)"},
      {"PassThruIoctl.READ_VBATT=8", [](auto& c) { return ErrorOf(ReadBatteryVoltage(c)); },
       "ERR_J2534_READ_VBATT_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)"},
      {"PassThruIoctl.READ_PROG_VOLTAGE=1",
       [](auto& c) { return ErrorOf(ReadProgrammingVoltage(c)); },
       "ERR_J2534_READ_PROG_VOLTAGE_FAILED: error code 1 (ERR_NOT_SUPPORTED)"},
      {"PassThruIoctl.CLEAR_TX_BUFFER=1", [](auto& c) { return ErrorOf(ClearBuffers(c)); },
       "ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER error code 1 (ERR_NOT_SUPPORTED)"},
      {"PassThruIoctl.CLEAR_RX_BUFFER=7", [](auto& c) { return ErrorOf(ClearBuffers(c)); },
       "ERR_J2534_IOCTL_FAILED: CLEAR_RX_BUFFER error code 7 (ERR_FAILED)"},
      {"PassThruIoctl.CLEAR_PERIODIC_MSGS=30", [](auto& c) { return ErrorOf(ClearPeriodic(c)); },
       "ERR_J2534_CLEAR_PERIODIC_FAILED: error code 30 (UNKNOWN_ERROR)"},
      {"PassThruIoctl.CLEAR_MSG_FILTERS=2", [](auto& c) { return ErrorOf(ClearFilters(c)); },
       "ERR_J2534_CLEAR_FILTERS_FAILED: error code 2 (ERR_INVALID_CHANNEL_ID)"},
      {"PassThruReadVersion=26", [](auto& c) { return ErrorOf(ReadVersion(c)); },
       "ERR_J2534_READ_VERSION_FAILED: error code 26 (ERR_INVALID_DEVICE_ID)"},
      {"", [](auto& c) { return ErrorOf(RemoveFilter(c, 42)); },
       "ERR_J2534_REMOVE_FILTER_FAILED: error code 22 (ERR_INVALID_FILTER_ID)"},
      {"", [](auto& c) { return ErrorOf(StopPeriodic(c, 42)); },
       "ERR_J2534_STOP_PERIODIC_FAILED: error code 13 (ERR_INVALID_MSG_ID)"},
      {"", [](auto& c) { return ErrorOf(StartPeriodic(c, 0x7E0, {0x3E}, false, 1)); },
       "ERR_J2534_START_PERIODIC_FAILED: error code 11 (ERR_INVALID_TIME_INTERVAL)"},
      {"PassThruStartMsgFilter@3=24",
       [](auto& c) { return ErrorOf(AddFilter(c, "block", {1}, {1}, false)); },
       "ERR_J2534_FILTER_FAILED: error code 24 (ERR_NOT_UNIQUE) - filter trouble"},
  };
  Env("PTSIM_LAST_ERROR", "filter trouble");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Env("PTSIM_FAIL", c.fail);
    std::optional<Connection> connection = Open("ptsim0404", passthru::kCan, 0x100);
    ASSERT_TRUE(connection);
    std::optional<PassThruError> error = c.operation(*connection);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text, c.error);
    // Only the filter start asks the library for its reason.
    size_t expected_last_errors = c.error.find(" - ") != std::string::npos ? 1 : 0;
    EXPECT_EQ(CallsOf("PassThruGetLastError").size(), expected_last_errors);
    if (c.error.find("CLEAR_TX_BUFFER") != std::string::npos) {
      EXPECT_EQ(Calls().back()["ioctl"].GetString(), std::string("CLEAR_TX_BUFFER"));
    }
    connection.reset();
    ClearCalls();
  }
}

TEST_F(OperationsTest, VoltagesAskTheDeviceOnlyWhenTheChannelIsRefusedAsAHandle) {
  struct Case {
    const char* strict;
    const char* fail;
    bool battery;
    std::string answer;  // the volts, or the error text
    std::vector<int64_t> handles;
  };
  const Case cases[] = {
      // A library that takes the channel is asked nothing more.
      {"0", "", true, "12.600000", {2}},
      {"1", "", true, "12.600000", {2, 1}},
      {"0", "Ioctl.READ_VBATT@1=ERR_INVALID_CHANNEL_ID", true, "12.600000", {2, 1}},
      {"0",
       "Ioctl.READ_VBATT=ERR_NOT_SUPPORTED",
       true,
       "ERR_J2534_READ_VBATT_FAILED: error code 1 (ERR_NOT_SUPPORTED)",
       {2}},
      // The second call's status is the one reported.
      {"0",
       "Ioctl.READ_VBATT=ERR_INVALID_CHANNEL_ID",
       true,
       "ERR_J2534_READ_VBATT_FAILED: error code 2 (ERR_INVALID_CHANNEL_ID)",
       {2, 1}},
      {"1",
       "Ioctl.READ_PROG_VOLTAGE@2=ERR_DEVICE_NOT_CONNECTED",
       false,
       "ERR_J2534_READ_PROG_VOLTAGE_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)",
       {2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.strict) + " " + c.fail);
    Env("PTSIM_STRICT", c.strict);
    Env("PTSIM_FAIL", c.fail);
    std::optional<Connection> connection = Open("ptsim0404", passthru::kIso15765);
    ASSERT_TRUE(connection);
    ClearCalls();
    auto volts = c.battery ? ReadBatteryVoltage(*connection) : ReadProgrammingVoltage(*connection);
    EXPECT_EQ(volts ? std::to_string(*volts) : volts.error().text, c.answer);
    std::vector<int64_t> handles;
    for (const Call& call : CallsOf("PassThruIoctl"))
      handles.push_back(Num(call, "handle"));
    EXPECT_EQ(handles, c.handles);
  }
}

TEST_F(OperationsTest, FlowControlMessagesAreShapedLikeThePattern) {
  std::optional<Connection> connection = Open("ptsim0404", passthru::kIso15765);
  ASSERT_TRUE(connection);
  const wire::Bytes mask = {0xFF, 0xFF, 0xFF, 0xFF};
  const wire::Bytes pattern = {0x00, 0x00, 0x07, 0xE8};
  struct Case {
    bool raw;
    const char* type;
    wire::Bytes flow_control;
    std::string hex;  // empty: no flow-control message passed
  };
  const Case cases[] = {
      {false, "flow_control", {0x00, 0x00, 0x07}, "00000700"},
      {false, "flow_control", {0x00, 0x00, 0x07, 0xE0, 0x99}, "000007E0"},
      {true,
       "flow_control",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
       "0102030405060708090A0B0C"},
      {false, "pass", {0x00, 0x00, 0x07, 0xE0}, ""},
      {true, "block", {}, ""},  // not even checked with another type
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.hex);
    ClearCalls();
    auto id = c.raw ? AddFilterRaw(*connection, c.type, mask, pattern, true, c.flow_control)
                    : AddFilter(*connection, c.type, mask, pattern, true, c.flow_control);
    ASSERT_TRUE(id.ok()) << id.error().text;
    const Call call = std::move(CallsOf("PassThruStartMsgFilter").at(0));
    const auto& flow = call["flowControl"];
    if (c.hex.empty()) {
      EXPECT_TRUE(flow.IsNull());
      continue;
    }
    ASSERT_TRUE(flow.IsObject());
    EXPECT_EQ(Str(flow, "data"), c.hex);
    EXPECT_EQ(Num(flow, "protocol"), passthru::kIso15765);
    EXPECT_EQ(Num(flow, "txFlags"), 0x100);
  }
  ASSERT_TRUE(ClearFilters(*connection).ok());

  // The 05.00 call has no place for it: refused, and nothing is called.
  connection = Open("ptsim0500", passthru::kIso15765);
  ASSERT_TRUE(connection);
  ClearCalls();
  auto refused = AddFilter(*connection, "flow_control", mask, pattern, false, wire::Bytes{0x07});
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().text, "ERR_J2534_FILTER_FAILED: flow_control needs a 04.04 library");
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(AddFilterRaw(*connection, "pass", mask, pattern, false, wire::Bytes{0x07}).ok());
}

TEST_F(OperationsTest, MissingEntryPointsFailOnlyTheirOperations) {
  ExpectFunctionNotFound(
      {
          {"ptsim0404_trim", [](auto& c) { return ErrorOf(ReadVersion(c)); },
           "PassThruReadVersion"},
          {"ptsim0500_trim", [](auto& c) { return ErrorOf(StartPeriodic(c, 1, {2}, false, 100)); },
           "PassThruStartPeriodicMsg"},
          {"ptsim0404_noioctl", [](auto& c) { return ErrorOf(GetConfig(c, passthru::kLoopback)); },
           "PassThruIoctl"},
          {"ptsim0404_noioctl", [](auto& c) { return ErrorOf(ClearFilters(c)); }, "PassThruIoctl"},
          {"ptsim0404_nostop", [](auto& c) { return ErrorOf(RemoveFilter(c, 1)); },
           "PassThruStopMsgFilter"},
          {"ptsim0404_nostop", [](auto& c) { return ErrorOf(StopPeriodic(c, 1)); },
           "PassThruStopPeriodicMsg"},
          {"ptsim0404_nolasterror", [](auto& c) { return ErrorOf(ReadLastError(c)); },
           "PassThruGetLastError"},
      },
      [](Connection& c) { EXPECT_TRUE(AddFilter(c, "pass", {}, {}, false).ok()); });
}

TEST_F(OperationsTest, FilterRecordsAsTheLibrarySeesThem) {
  struct Case {
    const char* library;
    uint32_t protocol;
    bool raw;
    wire::Bytes mask;
    wire::Bytes pattern;
    bool extended;
    std::string mask_hex;
    std::string pattern_hex;
  };
  const Case cases[] = {
      {"ptsim0404",
       passthru::kCan,
       false,
       {0x07, 0xE8},
       {0x07, 0xE8},
       false,
       "07E80000",
       "07E80000"},
      {"ptsim0500",
       passthru::kIso15765,
       false,
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       {},
       true,
       "FFFFFFFF",
       "00000000"},
      {"ptsim0404", passthru::kIso14230, false, {0x80}, {0x80}, true, "80000000", "80000000"},
      {"ptsim0404",
       passthru::kCan,
       true,
       wire::Bytes(13, 0xFF),
       {0x07},
       false,
       std::string(24, 'F'),
       "07"},
      {"ptsim0500",
       passthru::kIso9141,
       true,
       {0xFF, 0x00},
       {0x48, 0x6B, 0x10},
       false,
       "FF00",
       "486B10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask_hex + " " + c.pattern_hex);
    std::optional<Connection> connection = Open(c.library, c.protocol);
    ASSERT_TRUE(connection);
    ClearCalls();
    auto id = c.raw ? AddFilterRaw(*connection, "block", c.mask, c.pattern, c.extended)
                    : AddFilter(*connection, "block", c.mask, c.pattern, c.extended);
    ASSERT_TRUE(id.ok()) << id.error().text;
    const Call call = std::move(CallsOf("PassThruStartMsgFilter").at(0));
    EXPECT_EQ(Num(call, "filterId"), *id);
    EXPECT_EQ(Num(call, "filterType"), passthru::kBlockFilter);
    for (const auto& [key, hex] : {std::pair{"mask", c.mask_hex}, {"pattern", c.pattern_hex}}) {
      const auto& record = call[key];
      EXPECT_EQ(Str(record, "data"), hex);
      EXPECT_EQ(Num(record, "dataSize"), static_cast<int64_t>(hex.size() / 2));
      EXPECT_EQ(Num(record, "txFlags"), c.extended ? 0x100 : 0);
      EXPECT_EQ(Num(record, "protocol"), c.protocol);
      if (connection->api_0500()) {
        EXPECT_EQ(Num(record, "dataBufferSize"), Num(record, "dataSize"));
      }
    }
    ASSERT_TRUE(RemoveFilter(*connection, *id).ok());
    EXPECT_EQ(Num(CallsOf("PassThruStopMsgFilter").at(0), "filterId"), *id);
    ASSERT_TRUE(ClearFilters(*connection).ok());
  }
}

TEST_F(OperationsTest, FilterRequestsRefusedBeforeAnyCall) {
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan);
  ASSERT_TRUE(connection);
  ClearCalls();
  const std::pair<std::optional<PassThruError>, std::string> cases[] = {
      {ErrorOf(AddFilter(*connection, "Pass", {1}, {1}, false)), "Invalid filter type"},
      {ErrorOf(AddFilterRaw(*connection, "PASS", {}, {}, false)), "Invalid filter type"},
      {ErrorOf(AddFilterRaw(*connection, "pass", {0xFF}, {}, false)),
       "ERR_J2534_ADD_FILTER_FAILED: mask/pattern must be 1-12 bytes"},
      {ErrorOf(AddFilterRaw(*connection, "flow_control", {}, {0x01}, false)),
       "ERR_J2534_ADD_FILTER_FAILED: mask/pattern must be 1-12 bytes"},
  };
  for (const auto& [error, text] : cases) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text, text);
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(OperationsTest, PeriodicMessagesArePackedAsOneFrame) {
  struct Case {
    const char* library;
    uint32_t protocol;
    wire::Bytes data;
    bool extended;
    std::string hex;  // empty: refused
  };
  const Case cases[] = {
      {"ptsim0404", passthru::kCan, {0x02, 0x3E, 0x00}, false, "000007E0023E00"},
      {"ptsim0500", passthru::kIso15765, wire::Bytes(8, 0x11), true,
       "000007E0" + std::string(16, '1')},
      // No identifier on a K-Line bus, in either form.
      {"ptsim0404", passthru::kIso14230, {0xC1, 0x33, 0xF1, 0x3E}, true, "C133F13E"},
      {"ptsim0500", passthru::kIso9141, {0x68, 0x6A, 0xF1, 0x3E}, false, "686AF13E"},
      {"ptsim0404", passthru::kCan, wire::Bytes(10, 0), false, ""},
      {"ptsim0500", passthru::kIso15765, wire::Bytes(9, 0), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library + std::string(" ") + std::to_string(c.protocol));
    std::optional<Connection> connection = Open(c.library, c.protocol);
    ASSERT_TRUE(connection);
    ClearCalls();
    auto id = StartPeriodic(*connection, 0x7E0, c.data, c.extended, 1000);
    if (c.hex.empty()) {
      ASSERT_FALSE(id.ok());
      EXPECT_EQ(id.error().text, "ERR_J2534_MSG_TOO_LONG: " + std::to_string(c.data.size()) +
                                     " data bytes, at most 8 fit a message of protocol " +
                                     std::to_string(c.protocol));
      EXPECT_TRUE(Calls().empty());
      continue;
    }
    ASSERT_TRUE(id.ok()) << id.error().text;
    const Call call = std::move(CallsOf("PassThruStartPeriodicMsg").at(0));
    EXPECT_EQ(Num(call, "msgId"), *id);
    EXPECT_EQ(Num(call, "interval"), 1000);
    EXPECT_EQ(Str(call["msg"], "data"), c.hex);
    EXPECT_EQ(Num(call["msg"], "txFlags"), c.extended ? 0x100 : 0);
    EXPECT_EQ(Num(call["msg"], "protocol"), c.protocol);
    ASSERT_TRUE(StopPeriodic(*connection, *id).ok());
    ASSERT_TRUE(ClearPeriodic(*connection).ok());
    EXPECT_EQ(Str(CallsOf("PassThruIoctl").back(), "ioctl"), "CLEAR_PERIODIC_MSGS");
  }
}

}  // namespace
}  // namespace tarnix::j2534
