// The calls that reach beyond one frame against ptsim: typed ioctls of every input and output
// kind, parameter lists, single-queue clears, voltages on a named handle, the programming voltage
// and the device scan.
#include "j2534/typed_ioctl.h"

#include <gtest/gtest.h>

#include "j2534/io.h"
#include "j2534/ioctl.h"
#include "j2534/ptsim_fixture.h"
#include "j2534/scan.h"

namespace tarnix::j2534 {
namespace {

using TypedIoctlTest = PtsimTest;
using wire::ConfigEntry;
using wire::IoctlOutput;

constexpr uint32_t kQueued = 0x10001;
constexpr uint32_t kInject = 0x10002;
constexpr uint32_t kConfigList = 0x10003;
constexpr uint32_t kLastSent = 0x10004;

wire::IoctlCall Request(uint32_t id, IoctlOutput output = IoctlOutput::None) {
  wire::IoctlCall request;
  request.ioctl_id = id;
  request.output = output;
  return request;
}

TEST_F(TypedIoctlTest, EveryInputAndOutputKindAndTheRefusals) {
  std::optional<Connection> connection = Open("ptsim0500", passthru::kCan);
  ASSERT_TRUE(connection);
  const uint32_t channel = connection->channel_id();
  const auto call = [&](const wire::IoctlCall& request) {
    return TypedIoctl(*connection, channel, passthru::kCan, request);
  };
  wire::IoctlCall inject = Request(kInject);
  inject.input_record.emplace();
  inject.input_record->data = {0, 0, 0x01, 0x23, 0xAB};
  ASSERT_TRUE(call(inject));
  EXPECT_EQ(std::get<uint32_t>(*call(Request(kQueued, IoctlOutput::Number))), 1u);

  wire::IoctlCall serial = Request(0x10000, IoctlOutput::Bytes);
  const auto device = TypedIoctl(*connection, connection->device_id(), 0, serial);
  EXPECT_EQ(std::get<wire::ByteList>(*device).bytes,
            (wire::Bytes{'P', 'T', 'S', 'I', 'M', '-', '0', '0', '0', '1'}));

  wire::IoctlCall listed = Request(kConfigList, IoctlOutput::Parameters);
  listed.output_parameters = {passthru::kDataRate, passthru::kLoopback};
  EXPECT_EQ(std::get<std::vector<ConfigEntry>>(*call(listed)),
            (std::vector<ConfigEntry>{{passthru::kDataRate, kBaud}, {passthru::kLoopback, 0}}));
  wire::IoctlCall in_place = Request(kConfigList, IoctlOutput::Parameters);
  in_place.input_parameters = std::vector<ConfigEntry>{{passthru::kDataRate, 0}};
  EXPECT_EQ(std::get<std::vector<ConfigEntry>>(*call(in_place)),
            (std::vector<ConfigEntry>{{passthru::kDataRate, kBaud}}));

  ASSERT_TRUE(SendOne(*connection, 0x7DF, {0x02, 0x01, 0x0D}, false));
  const auto last = call(Request(kLastSent, IoctlOutput::Record));
  EXPECT_EQ(std::get<wire::Record>(*last).data, (wire::Bytes{0, 0, 7, 0xDF, 2, 1, 0x0D}));

  EXPECT_EQ(call(Request(passthru::kGetConfig)).error().text,
            "ERR_J2534_IOCTL_REFUSED: GET_CONFIG goes through GetConfig");
  wire::IoctlCall two = Request(0x8000);
  two.input_number = 1;
  two.input_bytes = wire::Bytes{1};
  EXPECT_EQ(call(two).error().text, "ERR_J2534_IOCTL_REFUSED: at most one input");
  const auto failed = call(Request(0x8000));
  EXPECT_EQ(failed.error().text,
            "ERR_J2534_IOCTL_FAILED: SW_CAN_HS error code 1 (ERR_NOT_SUPPORTED)");
  EXPECT_EQ(call(Request(0x12345)).error().j2534_status(), 15u);
}

TEST_F(TypedIoctlTest, ListsQueuesHandlesAndTheProgrammingVoltage) {
  std::optional<Connection> connection = Open("ptsim0404", passthru::kCan);
  ASSERT_TRUE(connection);
  ClearCalls();
  ASSERT_TRUE(SetConfigList(*connection, {{passthru::kLoopback, 1}, {0x20, 8}}));
  EXPECT_EQ(*GetConfigList(*connection, {0x20, passthru::kLoopback}),
            (std::vector<ConfigEntry>{{0x20, 8}, {passthru::kLoopback, 1}}));
  EXPECT_EQ(CallsOf("PassThruIoctl").size(), 2u) << "one ioctl for each list";

  ClearCalls();
  ASSERT_TRUE(ClearBuffers(*connection, wire::BufferChoice::Rx));
  ASSERT_TRUE(ClearBuffers(*connection, wire::BufferChoice::Tx));
  const std::vector<Call> clears = CallsOf("PassThruIoctl");
  ASSERT_EQ(clears.size(), 2u);
  EXPECT_EQ(Str(clears[0], "ioctl"), "CLEAR_RX_BUFFER");
  EXPECT_EQ(Str(clears[1], "ioctl"), "CLEAR_TX_BUFFER");

  Env("PTSIM_STRICT", "1");
  std::optional<Connection> strict;
  connection.reset();
  strict = Open("ptsim0404", passthru::kCan);
  ASSERT_TRUE(strict);
  ASSERT_TRUE(SetProgrammingVoltage(*strict, 12, 18000));
  EXPECT_EQ(*ReadProgrammingVoltage(*strict, strict->device_id()), 18.0);
  // A handle named is asked alone: a strict library refuses the channel.
  EXPECT_EQ(ReadBatteryVoltage(*strict, strict->channel_id()).error().j2534_status(), 26u);
  auto second = SetProgrammingVoltage(*strict, 13, 5000);
  EXPECT_EQ(second.error().text,
            "ERR_J2534_SET_PROG_VOLTAGE_FAILED: error code 19 (ERR_PIN_INVALID) - "
            "PassThruSetProgrammingVoltage: pin 12 already has a voltage");
  ASSERT_TRUE(SetProgrammingVoltage(*strict, 12, 0xFFFFFFFF));
  EXPECT_EQ(*ReadProgrammingVoltage(*strict), 0.0);
}

TEST_F(TypedIoctlTest, AScanListsA0500LibrarysDevicesAndA0404LibraryHasNone) {
  auto devices = ScanLibrary(LibraryPath("ptsim0500"), {});
  ASSERT_TRUE(devices) << devices.error().text;
  ASSERT_EQ(devices->size(), 1u);
  EXPECT_EQ((*devices)[0], (wire::ScannedDevice{"ptsim", 1, 0, 1, 480000000, 100, 100}));
  EXPECT_EQ(Fns(), (std::vector<std::string>{"load", "PassThruScanForDevices",
                                             "PassThruGetNextDevice", "unload"}));
  auto none = ScanLibrary(LibraryPath("ptsim0404"), {});
  EXPECT_EQ(none.error().text, "ERR_J2534_SCAN_FAILED: a 04.04 library has no device scan");
}

}  // namespace
}  // namespace tarnix::j2534
