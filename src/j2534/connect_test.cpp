// The connection sequence and teardown against ptsim, checked through its call log.
#include "j2534/connect.h"

#include <gtest/gtest.h>

#include "j2534/ptsim_fixture.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

using ConnectTest = PtsimTest;

struct FilterExpectation {
  int64_t channel;
  std::string mask;
  std::string pattern;
  int64_t tx_flags;
};

struct SequenceCase {
  const char* name;
  uint32_t protocol;
  uint32_t flags;
  std::vector<FilterExpectation> filters;
  std::vector<int64_t> connect_flags;  // of every PassThruConnect, in order
  bool dedicated_channel;
};

const SequenceCase kSequenceCases[] = {
    {"iso15765", passthru::kIso15765, 0, {{2, "00000000", "00000000", 0}}, {0}, false},
    {"can 29-bit flag",
     passthru::kCan,
     0x100,
     {{2, "00000000", "00000000", 0}, {2, "00000000", "10DAF110", 0x100}},
     {0x100},
     false},
    {"can id both",
     passthru::kCan,
     0x800,
     {{2, "00000000", "00000000", 0}, {3, "00000000", "10DAF110", 0x100}},
     {0x800, 0x100},
     true},
    {"can id both and 29-bit",
     passthru::kCan,
     0x900,
     {{2, "00000000", "00000000", 0}, {2, "00000000", "10DAF110", 0x100}},
     {0x900},
     false},
    {"iso14230", passthru::kIso14230, 0, {{2, "00", "00", 0}}, {0}, false},
    // The dedicated channel is opened for CAN_ID_BOTH whatever the protocol.
    {"iso9141 id both",
     passthru::kIso9141,
     0x800,
     {{2, "00", "00", 0}, {3, "00000000", "10DAF110", 0x100}},
     {0x800, 0x100},
     true},
    {"j1850vpw", passthru::kJ1850Vpw, 0, {}, {0}, false},
};

TEST_F(ConnectTest, InstallsTheFiltersEachProtocolNeedsInBothForms) {
  for (const char* form : {"ptsim0404", "ptsim0500"}) {
    for (const SequenceCase& c : kSequenceCases) {
      SCOPED_TRACE(std::string(form) + " " + c.name);
      ClearCalls();
      std::optional<Connection> connection = Open(form, c.protocol, c.flags);
      ASSERT_TRUE(connection);
      bool v0500 = std::string(form) == "ptsim0500";
      EXPECT_EQ(connection->api_0500(), v0500);
      EXPECT_EQ(connection->has_29bit_channel(), c.dedicated_channel);
      if (c.dedicated_channel) {
        EXPECT_EQ(connection->channel_29bit_id(), 3u);
      }

      std::vector<Call> connects = CallsOf("PassThruConnect");
      ASSERT_EQ(connects.size(), c.connect_flags.size());
      for (size_t i = 0; i < connects.size(); ++i) {
        EXPECT_EQ(Num(connects[i], "flags"), c.connect_flags[i]);
        EXPECT_EQ(Num(connects[i], "baudRate"), kBaud);
        EXPECT_EQ(Num(connects[i], "protocolId"), c.protocol);
        EXPECT_EQ(connects[i].HasMember("resource"), v0500);
        if (v0500) {
          const auto& resource = connects[i]["resource"];
          EXPECT_EQ(Num(resource, "connector"), 1);
          EXPECT_EQ(Num(resource, "numResources"), 2);
          EXPECT_EQ(resource["resources"][0].GetInt(), 6);
          EXPECT_EQ(resource["resources"][1].GetInt(), 14);
        }
      }
      std::vector<Call> filters = CallsOf("PassThruStartMsgFilter");
      ASSERT_EQ(filters.size(), c.filters.size());
      for (size_t i = 0; i < filters.size(); ++i) {
        const FilterExpectation& expected = c.filters[i];
        EXPECT_EQ(Num(filters[i], "channelId"), expected.channel);
        EXPECT_EQ(Num(filters[i], "filterType"), passthru::kPassFilter);
        EXPECT_EQ(Str(filters[i]["mask"], "data"), expected.mask);
        EXPECT_EQ(Str(filters[i]["pattern"], "data"), expected.pattern);
        EXPECT_EQ(Num(filters[i]["mask"], "txFlags"), expected.tx_flags);
        EXPECT_EQ(Num(filters[i]["pattern"], "txFlags"), expected.tx_flags);
        EXPECT_EQ(Num(filters[i]["mask"], "protocol"), c.protocol);
        // The 04.04 form passes a null flow-control message; the 05.00 form has no such argument.
        EXPECT_EQ(filters[i].HasMember("flowControl"), !v0500);
        if (!v0500) {
          EXPECT_TRUE(filters[i]["flowControl"].IsNull());
        }
      }

      // Loopback is switched off and read back in 04.04 only.
      std::vector<Call> ioctls = CallsOf("PassThruIoctl");
      ASSERT_EQ(ioctls.size(), v0500 ? 0u : 2u);
      if (!v0500) {
        EXPECT_EQ(Str(ioctls[0], "ioctl"), "SET_CONFIG");
        EXPECT_EQ(Num(ioctls[0]["input"][0], "parameter"), passthru::kLoopback);
        EXPECT_EQ(Num(ioctls[0]["input"][0], "value"), 0);
        EXPECT_EQ(Str(ioctls[1], "ioctl"), "GET_CONFIG");
        EXPECT_EQ(Num(ioctls[1], "handle"), 2);
      }
    }
  }
  std::vector<std::string> lines = LogLines();
  EXPECT_EQ(
      std::count(lines.begin(), lines.end(), "[j2534] Opened dedicated 29-bit channel (id=3)"), 4);
}

struct FailureCase {
  const char* name;
  const char* library;
  uint32_t protocol;
  const char* fail;  // PTSIM_FAIL
  std::string error;
  std::vector<std::string> calls_after_open;  // what the log shows from PassThruOpen on
};

TEST_F(ConnectTest, EachFailureReleasesWhatWasAcquired) {
  const std::string injected = " - adapter says no";
  const FailureCase cases[] = {
      {"open missing",
       "ptsim0404_noopen",
       passthru::kCan,
       "",
       "ERR_J2534_FUNC_NOT_FOUND: PassThruOpen - " + kNotFound,
       {}},
      {"open refused",
       "ptsim0404",
       passthru::kCan,
       "PassThruOpen=8",
       "ERR_J2534_OPEN_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED)" + injected,
       {"PassThruOpen", "PassThruGetLastError", "unload"}},
      {"connect missing",
       "ptsim0404_noconnect",
       passthru::kCan,
       "",
       "ERR_J2534_FUNC_NOT_FOUND: PassThruConnect - " + kNotFound,
       {"PassThruOpen", "PassThruClose", "unload"}},
      {"connect refused",
       "ptsim0500",
       passthru::kIso15765,
       "PassThruConnect=ERR_INVALID_BAUDRATE",
       "ERR_J2534_CONNECT_FAILED: error code 25 (ERR_INVALID_BAUDRATE)" + injected,
       {"PassThruOpen", "PassThruConnect", "PassThruGetLastError", "PassThruClose", "unload"}},
      {"k-line filter missing",
       "ptsim0404_nofilter",
       passthru::kIso9141,
       "",
       "ERR_J2534_FUNC_NOT_FOUND: PassThruStartMsgFilter - " + kNotFound,
       {"PassThruOpen", "PassThruConnect", "PassThruDisconnect", "PassThruClose", "unload"}},
      {"can filter missing",
       "ptsim0500_nofilter",
       passthru::kCan,
       "",
       "ERR_J2534_FUNC_NOT_FOUND: PassThruStartMsgFilter - " + kNotFound,
       {"PassThruOpen", "PassThruConnect", "PassThruDisconnect", "PassThruClose", "unload"}},
      {"can filter refused",
       "ptsim0404",
       passthru::kCan,
       "PassThruStartMsgFilter=ERR_FAILED",
       "ERR_J2534_FILTER_FAILED: error code 7 (ERR_FAILED)" + injected,
       {"PassThruOpen", "PassThruConnect", "PassThruStartMsgFilter", "PassThruGetLastError",
        "PassThruDisconnect", "PassThruClose", "unload"}},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    ClearCalls();
    Env("PTSIM_FAIL", c.fail);
    Env("PTSIM_LAST_ERROR", "  adapter says no\n");
    auto connection = Sequence(c.library, c.protocol);
    ASSERT_FALSE(connection.ok());
    EXPECT_EQ(connection.error().text, c.error);
    std::vector<std::string> fns = Fns();
    ASSERT_FALSE(fns.empty());
    EXPECT_EQ(fns.front(), "load");
    if (c.calls_after_open.empty()) {
      EXPECT_EQ(fns, (std::vector<std::string>{"load", "unload"}));
    } else {
      EXPECT_EQ(FnsFrom("PassThruOpen"), c.calls_after_open);
    }
  }
}

TEST_F(ConnectTest, ALibraryThatCannotBeLoadedLeavesNothingBehind) {
  auto connection = Sequence("no_such_adapter", passthru::kCan);
  ASSERT_FALSE(connection.ok());
  EXPECT_TRUE(connection.error().text.starts_with("ERR_J2534_DLL_LOAD: " +
                                                  std::string(platform::kLoadFailed)))
      << connection.error().text;
  EXPECT_TRUE(Fns().empty());
}

struct WarningCase {
  const char* name;
  const char* library;
  uint32_t protocol;
  uint32_t flags;
  const char* fail;
  std::vector<std::string> lines;
  bool dedicated_channel;
};

TEST_F(ConnectTest, OptionalStepsOnlyWarn) {
  const WarningCase cases[] = {
      {"k-line filter refused",
       "ptsim0404",
       passthru::kIso14230,
       0,
       "PassThruStartMsgFilter=1",
       {"[j2534] Warning: K-Line pass-all filter failed: 1 (ERR_NOT_SUPPORTED). RX may not work."},
       false},
      {"k-line filter refused, 05.00",
       "ptsim0500",
       passthru::kIso9141,
       0,
       "PassThruStartMsgFilter=7",
       {"[j2534] Warning: K-Line pass-all filter failed: 7 (ERR_FAILED). RX may not work."},
       false},
      {"second filter refused",
       "ptsim0404",
       passthru::kCan,
       0x100,
       "PassThruStartMsgFilter@2=7",
       {"[j2534] Warning: 29-bit pass filter failed: ERR_J2534_FILTER_FAILED: error code 7 "
        "(ERR_FAILED) - boom. Extended frames may not be received."},
       false},
      {"29-bit channel refused",
       "ptsim0500",
       passthru::kCan,
       0x800,
       "PassThruConnect@2=ERR_CHANNEL_IN_USE",
       {"[j2534] Could not open 29-bit channel: 20 (ERR_CHANNEL_IN_USE) \xE2\x80\x94 relying on "
        "CAN_ID_BOTH"},
       false},
      {"29-bit channel filter refused",
       "ptsim0404",
       passthru::kCan,
       0x800,
       "PassThruStartMsgFilter@2=7",
       {"[j2534] 29-bit channel filter failed: ERR_J2534_FILTER_FAILED: error code 7 (ERR_FAILED) "
        "- boom",
        "[j2534] Opened dedicated 29-bit channel (id=3)"},
       true},
      {"loopback refused", "ptsim0404", passthru::kCan, 0, "PassThruIoctl=ERR_FAILED", {}, false},
  };
  size_t previous_lines = 0;
  for (const WarningCase& c : cases) {
    SCOPED_TRACE(c.name);
    ClearCalls();
    Env("PTSIM_FAIL", c.fail);
    Env("PTSIM_LAST_ERROR", "boom");
    std::optional<Connection> connection = Open(c.library, c.protocol, c.flags);
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->has_29bit_channel(), c.dedicated_channel);
    std::vector<std::string> lines = LogLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(previous_lines),
                                       lines.end()),
              c.lines);
    previous_lines = lines.size();
    // The K-Line warning names the status without asking the library why.
    if (c.protocol == passthru::kIso14230) {
      EXPECT_TRUE(CallsOf("PassThruGetLastError").empty());
    }
  }
}

TEST_F(ConnectTest, TeardownReleasesInItsFixedOrder) {
  struct Case {
    const char* library;
    uint32_t flags;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"ptsim0404", 0, {"PassThruDisconnect", "PassThruClose", "unload"}},
      {"ptsim0500", 0x800, {"PassThruDisconnect", "PassThruDisconnect", "PassThruClose", "unload"}},
      // Without PassThruDisconnect the device is still closed and the library freed.
      {"ptsim0404_trim", 0x800, {"PassThruClose", "unload"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library);
    std::optional<Connection> connection = Open(c.library, passthru::kCan, c.flags);
    ASSERT_TRUE(connection);
    ClearCalls();
    std::optional<Connection> moved = std::move(*connection);  // released once, by its owner
    connection.reset();
    EXPECT_TRUE(Calls().empty());
    moved->Release();
    moved->Release();
    EXPECT_EQ(Fns(), c.calls);
    std::vector<Call> disconnects = CallsOf("PassThruDisconnect");
    if (disconnects.size() == 2) {
      EXPECT_EQ(Num(disconnects[0], "channelId"), 3);
      EXPECT_EQ(Num(disconnects[1], "channelId"), 2);
    }
    EXPECT_EQ(Num(CallsOf("PassThruClose").at(0), "deviceId"), 1);
  }
}

}  // namespace
}  // namespace tarnix::j2534
