// ptsim beyond the basics: pin-switched channels and their pins, the lookup tables, ioctls of its
// own logged with their shapes, the device scan, and their replay.
#include <cstring>
#include <filesystem>

#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "sim/library_fixture.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using ExtrasTest = LibraryTest;

passthru::PassThruMsg0404 Record(uint32_t protocol, const Bytes& data) {
  passthru::PassThruMsg0404 message{};
  message.ProtocolID = protocol;
  message.DataSize = static_cast<uint32_t>(data.size());
  std::memcpy(message.Data, data.data(), data.size());
  return message;
}

int32_t SetPins(Library& lib, uint32_t channel, uint32_t pins) {
  passthru::SConfig config{passthru::kJ1962Pins, pins};
  passthru::SConfigList list{1, &config};
  return lib.Ioctl(channel, passthru::kSetConfig, &list, nullptr);
}

TEST_F(ExtrasTest, APinSwitchedChannelReachesTheEcuOnlyOnItsCanPins) {
  env_["PTSIM_STRICT"] = "1";
  auto lib = Make(Form::k0404);
  uint32_t device = 0;
  uint32_t channel = 0;
  uint32_t filter = 0;
  ASSERT_EQ(lib->Open("ptsim", &device), 0);
  ASSERT_EQ(lib->Connect(device, passthru::kIso15765Ps, 0, 500000, nullptr, &channel), 0);
  passthru::PassThruMsg0404 mask = Record(passthru::kIso15765Ps, {0, 0, 0, 0});
  EXPECT_EQ(lib->StartMsgFilter(channel, passthru::kPassFilter, &mask, &mask, nullptr, &filter),
            static_cast<int32_t>(passthru::kErrPinInvalid));
  EXPECT_EQ(SetPins(*lib, channel, 0x0405), static_cast<int32_t>(passthru::kErrPinInvalid));
  for (uint32_t pins : {0x030Bu, 0x060Eu}) {
    ASSERT_EQ(SetPins(*lib, channel, pins), 0);
    ASSERT_EQ(lib->StartMsgFilter(channel, passthru::kPassFilter, &mask, &mask, nullptr, &filter),
              0);
    passthru::PassThruMsg0404 request =
        Record(passthru::kIso15765Ps, {0, 0, 0x07, 0xDF, 0x01, 0x0C});
    uint32_t count = 1;
    ASSERT_EQ(lib->WriteMsgs("PassThruWriteMsgs", channel, &request, &count, 100), 0);
    passthru::PassThruMsg0404 answer{};
    count = 1;
    const int32_t read = lib->ReadMsgs(channel, &answer, &count, 0);
    if (pins == 0x030B) {
      EXPECT_EQ(read, static_cast<int32_t>(passthru::kErrBufferEmpty)) << "no ECU on pins 3 and 11";
    } else {
      ASSERT_EQ(read, 0);
      EXPECT_EQ(answer.ProtocolID, passthru::kIso15765Ps);
      EXPECT_EQ(answer.DataSize, 8u);
    }
  }
  passthru::SConfig pins{passthru::kJ1962Pins, 0};
  passthru::SConfigList list{1, &pins};
  ASSERT_EQ(lib->Ioctl(channel, passthru::kGetConfig, &list, nullptr), 0);
  EXPECT_EQ(pins.Value, 0x060Eu);
}

TEST_F(ExtrasTest, TablesSpeedsAndItsOwnIoctlsAreLoggedWithTheirShapes) {
  auto lib = Make(Form::k0404);
  const uint32_t pwm = Start(*lib, passthru::kJ1850Pwm);
  uint8_t addresses[] = {0x6A, 0x6B};
  passthru::SByteArray add{2, addresses};
  EXPECT_EQ(lib->Ioctl(pwm, passthru::kAddToFunctMsgLookupTable, &add, nullptr), 0);
  EXPECT_EQ(Str(At(Last("PassThruIoctl"), "input"), "data"), "6A6B");
  EXPECT_EQ(lib->Ioctl(pwm, passthru::kSwCanHs, nullptr, nullptr),
            static_cast<int32_t>(passthru::kErrNotSupported));
  uint32_t queued = 99;
  EXPECT_EQ(lib->Ioctl(pwm, kPtsimQueued, nullptr, &queued), 0);
  EXPECT_EQ(queued, 0u);
  EXPECT_EQ(Num(Last("PassThruIoctl"), "output"), 0u);
  passthru::PassThruMsg0404 last{};
  EXPECT_EQ(lib->Ioctl(pwm, kPtsimLastSent, nullptr, &last),
            static_cast<int32_t>(passthru::kErrBufferEmpty));
  EXPECT_EQ(lib->Ioctl(pwm, passthru::kAddToFunctMsgLookupTable + 100, nullptr, nullptr),
            static_cast<int32_t>(passthru::kErrInvalidIoctlId));
}

TEST_F(ExtrasTest, AScanAndShapedOutputsReplayAsRecorded) {
  const auto session = [](Library& lib, std::string& name, Bytes& serial) {
    uint32_t count = 0;
    uint32_t device = 0;
    passthru::SDevice found{};
    EXPECT_EQ(lib.ScanForDevices(&count), 0);
    EXPECT_EQ(lib.GetNextDevice(&found), 0);
    EXPECT_EQ(lib.GetNextDevice(&found), static_cast<int32_t>(passthru::kErrExceededLimit));
    name = found.DeviceName;
    EXPECT_EQ(lib.Open(found.DeviceName, &device), 0);
    serial.assign(32, 0);
    passthru::SByteArray output{32, serial.data()};
    EXPECT_EQ(lib.Ioctl(device, kPtsimGetSerial, nullptr, &output), 0);
    serial.resize(output.NumOfBytes);
    EXPECT_EQ(lib.Close(device), 0);
  };
  std::string name;
  Bytes serial;
  {
    auto lib = Make(Form::k0500);
    session(*lib, name, serial);
  }
  EXPECT_EQ(name, "ptsim");
  EXPECT_EQ(std::string(serial.begin(), serial.end()), "PTSIM-0001");
  const std::string recording = folder_.File("recording.log");
  std::filesystem::rename(log_, recording);
  env_["PTSIM_REPLAY"] = recording;
  std::string replayed_name;
  Bytes replayed_serial;
  auto replayer = Make(Form::k0500);
  session(*replayer, replayed_name, replayed_serial);
  EXPECT_EQ(replayed_name, name);
  EXPECT_EQ(replayed_serial, serial);
}

}  // namespace
}  // namespace tarnix::sim
