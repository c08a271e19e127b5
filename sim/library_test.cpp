// Tests of the entry-point layer: the call log, fault injection, the last error and the
// misbehaviour switches, in both record forms.
#include <algorithm>
#include <chrono>

#include <gtest/gtest.h>

#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "sim/library_fixture.h"

namespace tarnix::sim {
namespace {

TEST_F(LibraryTest, LogsLoadCallsAndUnload) {
  {
    auto lib = Make(Form::k0404);
    const uint32_t channel = Start(*lib, passthru::kIso15765);
    passthru::PassThruMsg0404 request{};
    request.ProtocolID = passthru::kIso15765;
    request.DataSize = 6;
    const uint8_t bytes[] = {0x00, 0x00, 0x07, 0xDF, 0x01, 0x0C};
    std::copy(std::begin(bytes), std::end(bytes), request.Data);
    uint32_t count = 1;
    EXPECT_EQ(lib->WriteMsgs("PassThruWriteMsgs", channel, &request, &count, 1000), 0);
    std::vector<passthru::PassThruMsg0404> received(4);
    count = 4;
    EXPECT_EQ(lib->ReadMsgs(channel, received.data(), &count, 0), 0);
    EXPECT_EQ(count, 1u);
    count = 4;
    EXPECT_EQ(lib->ReadMsgs(channel, received.data(), &count, 0),
              static_cast<int32_t>(passthru::kErrBufferEmpty));
  }
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 7u);  // the empty read is not logged
  EXPECT_EQ(Str(lines.front(), "fn"), "load");
  EXPECT_EQ(lines.front().MemberCount(), 1u);
  EXPECT_EQ(Str(lines[1], "fn"), "PassThruOpen");
  EXPECT_TRUE(IsNull(lines[1], "name"));
  EXPECT_EQ(Str(At(lines[3], "mask"), "data"), "00000000");
  EXPECT_TRUE(IsNull(lines[3], "flowControl"));
  EXPECT_EQ(Str(At(lines[4], "msgs", 0), "data"), "000007DF010C");
  EXPECT_EQ(Num(lines[4], "timeout"), 1000u);
  EXPECT_EQ(Num(lines[5], "countOut"), 1u);
  EXPECT_EQ(Str(At(lines[5], "msgs", 0), "data"), "000007E8410C1AF8");
  EXPECT_EQ(Str(lines.back(), "fn"), "unload");
}

TEST_F(LibraryTest, EmptyReadsAreLoggedOnRequest) {
  env_["PTSIM_LOG_READS"] = "1";
  auto lib = Make(Form::k0404);
  const uint32_t channel = Start(*lib, passthru::kCan);
  passthru::PassThruMsg0404 record{};
  uint32_t count = 1;
  EXPECT_EQ(lib->ReadMsgs(channel, &record, &count, 0),
            static_cast<int32_t>(passthru::kErrBufferEmpty));
  const auto line = Last("PassThruReadMsgs");
  EXPECT_EQ(Num(line, "ret"), 16u);
  EXPECT_EQ(Num(line, "countOut"), 0u);
}

TEST_F(LibraryTest, FaultRulesHitTheirCallAndAreReadAtEveryOpen) {
  env_["PTSIM_FAIL"] = "PassThruIoctl.READ_VBATT@2=ERR_DEVICE_NOT_CONNECTED";
  auto lib = Make(Form::k0404);
  const uint32_t channel = Start(*lib, passthru::kCan);
  uint32_t mv = 0;
  EXPECT_EQ(lib->Ioctl(channel, passthru::kReadProgVoltage, nullptr, &mv), 0);  // another ioctl
  EXPECT_EQ(lib->Ioctl(channel, passthru::kReadVbatt, nullptr, &mv), 0);
  EXPECT_EQ(mv, 12600u);
  EXPECT_EQ(lib->Ioctl(channel, passthru::kReadVbatt, nullptr, &mv), 8);
  EXPECT_TRUE(At(Last("PassThruIoctl"), "injected").IsTrue());
  EXPECT_EQ(lib->Ioctl(channel, passthru::kReadVbatt, nullptr, &mv), 0);
  char text[80] = {};
  EXPECT_EQ(lib->GetLastError(text), 0);
  EXPECT_STREQ(text, "PassThruIoctl: failure injected by PTSIM_FAIL (ERR_DEVICE_NOT_CONNECTED 8)");

  env_["PTSIM_FAIL"] = "Open=ERR_FAILED";
  ASSERT_EQ(lib->Close(1), 0);
  uint32_t device = 0;
  EXPECT_EQ(lib->Open(nullptr, &device), 7);
  env_.erase("PTSIM_FAIL");
  EXPECT_EQ(lib->Open(nullptr, &device), 0);
  EXPECT_EQ(lib->GetLastError(text), 0);
  EXPECT_STREQ(text, "");  // nothing failed since this open
}

TEST_F(LibraryTest, LastErrorTexts) {
  auto lib = Make(Form::k0404);
  uint32_t device = 0;
  uint32_t channel = 0;
  ASSERT_EQ(lib->Open(nullptr, &device), 0);
  EXPECT_EQ(lib->Connect(device, 9, 0, 500000, nullptr, &channel), 3);
  char text[80] = {};
  lib->GetLastError(text);
  EXPECT_STREQ(text, "PassThruConnect: protocol 9 is not supported");

  env_["PTSIM_LAST_ERROR"] = "adapter unplugged";
  ASSERT_EQ(lib->Close(device), 0);
  ASSERT_EQ(lib->Open(nullptr, &device), 0);
  lib->GetLastError(text);
  EXPECT_STREQ(text, "adapter unplugged");

  env_["PTSIM_MISBEHAVE"] = "last_error_bad_utf8";
  ASSERT_EQ(lib->Close(device), 0);
  ASSERT_EQ(lib->Open(nullptr, &device), 0);
  lib->GetLastError(text);
  EXPECT_EQ(std::string(text), "ptsim \xFF\xFE failure \xC3(");
}

TEST_F(LibraryTest, VersionTextsByFormAndFilledToTheBrim) {
  auto lib = Make(Form::k0500);
  uint32_t device = 0;
  ASSERT_EQ(lib->Open(nullptr, &device), 0);
  char firmware[80];
  char dll[80];
  char api[80];
  ASSERT_EQ(lib->ReadVersion(device, firmware, dll, api), 0);
  EXPECT_STREQ(api, "05.00");
  EXPECT_STREQ(dll, "ptsim 1.0 (ptsim_test)");
  env_["PTSIM_MISBEHAVE"] = "version_fill";
  ASSERT_EQ(lib->Close(device), 0);
  ASSERT_EQ(lib->Open(nullptr, &device), 0);
  ASSERT_EQ(lib->ReadVersion(device, firmware, dll, api), 0);
  EXPECT_EQ(std::find(firmware, firmware + 80, '\0'), firmware + 80);
  EXPECT_EQ(std::string(api, 6), "05.00.");
}

TEST_F(LibraryTest, OverstatedReadsIn0500Form) {
  env_["PTSIM_TRAFFIC"] = "5:7E8";
  env_["PTSIM_MISBEHAVE"] = "read_count_overflow,data_size_overflow";
  auto lib = Make(Form::k0500);
  uint32_t device = 0;
  uint32_t channel = 0;
  uint32_t filter = 0;
  ASSERT_EQ(lib->Open(nullptr, &device), 0);
  const passthru::ResourceStruct resources{1, 0, nullptr};
  ASSERT_EQ(lib->Connect(device, passthru::kCan, 0, 500000, &resources, &channel), 0);
  uint8_t zero[4] = {};
  passthru::PassThruMsg0500 mask{passthru::kCan, 0, 0, 0, 0, 4, 4, zero, 4};
  ASSERT_EQ(
      lib->StartMsgFilter(channel, passthru::kPassFilter, &mask, &mask, std::nullopt, &filter), 0);
  std::vector<uint8_t> buffers(2 * 64);
  passthru::PassThruMsg0500 records[2] = {
      {passthru::kCan, 0, 0, 0, 0, 0, 0, buffers.data(), 64},
      {passthru::kCan, 0, 0, 0, 0, 0, 0, buffers.data() + 64, 64}};
  uint32_t count = 2;
  ASSERT_EQ(lib->ReadMsgs(channel, records, &count, 0), 0);
  EXPECT_EQ(count, 5u);  // room for 2, 3 more claimed
  EXPECT_EQ(records[1].DataLength, 164u);
  EXPECT_EQ(buffers[64 + 7], 1u);  // the second traffic frame, sequence number 1
  EXPECT_EQ(Num(At(Last("PassThruConnect"), "resource"), "connector"), 1u);
}

TEST_F(LibraryTest, KLineIoctlMisbehaviour) {
  env_["PTSIM_MISBEHAVE"] = "five_baud_40,fast_init_empty";
  auto lib = Make(Form::k0404);
  const uint32_t channel = Start(*lib, passthru::kIso14230);
  uint8_t address = 0x33;
  uint8_t keywords[16] = {};
  passthru::SByteArray in{1, &address};
  passthru::SByteArray out{16, keywords};
  ASSERT_EQ(lib->Ioctl(channel, passthru::kFiveBaudInit, &in, &out), 0);
  EXPECT_EQ(out.NumOfBytes, 40u);
  EXPECT_EQ(keywords[1], 0x08);
  const auto line = Last("PassThruIoctl");
  EXPECT_EQ(Str(At(line, "input"), "data"), "33");
  EXPECT_EQ(Num(line, "outputCapacity"), 16u);
  EXPECT_EQ(Str(At(line, "output"), "data"), "0808");
  passthru::PassThruMsg0404 request{};
  request.ProtocolID = passthru::kIso14230;
  request.DataSize = 1;
  passthru::PassThruMsg0404 response{};
  ASSERT_EQ(lib->Ioctl(channel, passthru::kFastInit, &request, &response), 0);
  EXPECT_EQ(response.DataSize, 0u);
  EXPECT_EQ(response.ProtocolID, passthru::kIso14230);
}

TEST_F(LibraryTest, StrictModeRefusesWhatOnlyALenientLibraryTakes) {
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "strict" : "lenient");
    env_["PTSIM_STRICT"] = strict ? "1" : "0";
    auto lib = Make(Form::k0404);
    const uint32_t channel = Start(*lib, passthru::kIso15765);
    uint32_t mv = 0;
    // The voltages belong to the device: a channel id is no device id.
    EXPECT_EQ(lib->Ioctl(channel, passthru::kReadVbatt, nullptr, &mv), strict ? 26 : 0);
    EXPECT_EQ(lib->Ioctl(channel, passthru::kReadProgVoltage, nullptr, &mv), strict ? 26 : 0);
    EXPECT_EQ(lib->Ioctl(1, passthru::kReadVbatt, nullptr, &mv), 0);
    EXPECT_EQ(mv, 12600u);
    passthru::SConfig loopback{passthru::kLoopback, 2};
    passthru::SConfigList list{1, &loopback};
    EXPECT_EQ(lib->Ioctl(channel, passthru::kSetConfig, &list, nullptr), strict ? 5 : 0);

    passthru::PassThruMsg0404 mask{};
    mask.ProtocolID = passthru::kIso15765;
    mask.DataSize = 4;
    std::fill(mask.Data, mask.Data + 4, 0xFF);
    passthru::PassThruMsg0404 flow = mask;
    const uint8_t id[] = {0x00, 0x00, 0x07, 0xE0};
    std::copy(std::begin(id), std::end(id), flow.Data);
    uint32_t filter = 0;
    EXPECT_EQ(
        lib->StartMsgFilter(channel, passthru::kFlowControlFilter, &mask, &mask, nullptr, &filter),
        strict ? 4 : 0);
    flow.DataSize = 0;
    EXPECT_EQ(
        lib->StartMsgFilter(channel, passthru::kFlowControlFilter, &mask, &mask, &flow, &filter),
        strict ? 10 : 0);
    flow.DataSize = 4;
    EXPECT_EQ(
        lib->StartMsgFilter(channel, passthru::kFlowControlFilter, &mask, &mask, &flow, &filter),
        0);
    EXPECT_EQ(Str(At(Last("PassThruStartMsgFilter"), "flowControl"), "data"), "000007E0");
  }
}

TEST_F(LibraryTest, StrictIso15765SegmentsOnlyThroughFlowControlFilters) {
  const auto record = [](std::vector<uint8_t> data) {
    passthru::PassThruMsg0404 msg{};
    msg.ProtocolID = passthru::kIso15765;
    msg.DataSize = static_cast<uint32_t>(data.size());
    std::copy(data.begin(), data.end(), msg.Data);
    return msg;
  };
  const passthru::PassThruMsg0404 vin_request = record({0, 0, 0x07, 0xDF, 0x09, 0x02});
  const passthru::PassThruMsg0404 long_physical =
      record({0, 0, 0x07, 0xE0, 0x2E, 1, 2, 3, 4, 5, 6, 7});
  const passthru::PassThruMsg0404 long_functional =
      record({0, 0, 0x07, 0xDF, 0x2E, 1, 2, 3, 4, 5, 6, 7});
  const passthru::PassThruMsg0404 mask = record({0xFF, 0xFF, 0xFF, 0xFF});
  const passthru::PassThruMsg0404 answers = record({0, 0, 0x07, 0xE8});
  const passthru::PassThruMsg0404 flow = record({0, 0, 0x07, 0xE0});
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "strict" : "lenient");
    env_["PTSIM_STRICT"] = strict ? "1" : "0";
    auto lib = Make(Form::k0404);
    const uint32_t channel = Start(*lib, passthru::kIso15765);  // a pass-all filter
    const auto write = [&](const passthru::PassThruMsg0404& msg) {
      uint32_t count = 1;
      passthru::PassThruMsg0404 copy = msg;
      return lib->WriteMsgs("PassThruWriteMsgs", channel, &copy, &count, 100);
    };
    const auto received = [&] {
      std::vector<passthru::PassThruMsg0404> records(4);
      uint32_t count = 4;
      lib->ReadMsgs(channel, records.data(), &count, 0);
      std::vector<uint32_t> sizes;
      for (uint32_t i = 0; i < count; ++i)
        sizes.push_back(records[i].DataSize);
      return sizes;
    };
    // The VIN's 24 bytes make a segmented answer; a pass filter lets single frames in only.
    EXPECT_EQ(write(vin_request), 0);
    EXPECT_EQ(received(), strict ? std::vector<uint32_t>{} : std::vector<uint32_t>{24});
    EXPECT_EQ(write(long_physical), strict ? 23 : 0);
    received();
    uint32_t filter = 0;
    ASSERT_EQ(
        lib->StartMsgFilter(channel, passthru::kFlowControlFilter, &mask, &answers, &flow, &filter),
        0);
    EXPECT_EQ(write(vin_request), 0);
    EXPECT_EQ(received(), std::vector<uint32_t>{24});
    EXPECT_EQ(write(long_physical), 0);
    EXPECT_EQ(received(), std::vector<uint32_t>{7});  // 7F 2E 11, a single frame
    // Flow control comes from the identifier the filter's message names, not from 7DF.
    EXPECT_EQ(write(long_functional), strict ? 23 : 0);
  }
}

TEST_F(LibraryTest, LoaderThreadHoldsUpAnUnloadUntilItHasStarted) {
  env_["PTSIM_MISBEHAVE"] = "loader_thread";
  env_["PTSIM_UNLOAD_DELAY_MS"] = "300";
  const auto loaded = std::chrono::steady_clock::now();
  Make(Form::k0404).reset();
  EXPECT_GE(std::chrono::steady_clock::now() - loaded, std::chrono::milliseconds(300));
  std::vector<std::string> lines;
  for (const auto& line : Lines())
    lines.push_back(Str(line, "fn") + (line.HasMember("event") ? " " + Str(line, "event") : ""));
  EXPECT_EQ(lines, (std::vector<std::string>{"load", "loaderThread started", "loaderThread ended",
                                             "unload"}));
}

}  // namespace
}  // namespace tarnix::sim
