// EnumerateDevices through the real bridge: registrations in both registry views, each library's
// bitness, and the API version cache that the two Windows builds share.
#include <gtest/gtest.h>

#include <filesystem>

#include "bridge_harness.h"
#include "common/text.h"
#include "discovery/fake_registry.h"
#include "json_helpers.h"
#include "platform/environment.h"
#include "platform/registry.h"

namespace tarnix::e2e {
namespace {

using discovery::testing::TextValue;

#ifdef _WIN32

constexpr char kKey[] = "SOFTWARE\\PassThruSupport.05.00\\";

// The ptsim0500 of the other Windows build, which this bridge cannot load.
std::string OtherWidthFile(const std::string& file) {
  const char* other = kBitness == 64 ? "win32" : "win64";
  return (std::filesystem::path(platform::ExecutableDirectory()) / ".." / ".." / other / "bin" /
          file)
      .lexically_normal()
      .string();
}

// Registers one interface in `view` and removes it again when the test ends.
class Registration {
 public:
  Registration(platform::RegistryView view, const std::string& subkey, const std::string& library)
      : view_(view), path_(kKey + subkey) {
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"Name", subkey + " (x64)"},
                                     {"Vendor", "tarnix e2e"},
                                     {"FunctionLibrary", library}}) {
      const Result<void> written =
          platform::WriteLocalMachineValue(path_, view_, name, TextValue(Utf8ToUtf16(text)));
      EXPECT_TRUE(written.ok()) << written.error().text;
    }
  }
  ~Registration() { (void)platform::DeleteLocalMachineTree(path_, view_); }

 private:
  platform::RegistryView view_;
  std::string path_;
};

// The device object listed for `library`, as JSON text; empty when it is not listed.
std::string DeviceFor(Bridge& bridge, const std::string& library, uint64_t id) {
  const Reply reply(
      bridge.Call(R"({"id":)" + std::to_string(id) + R"(,"method":"EnumerateDevices"})"), id);
  for (const auto& device : reply.data().GetArray()) {
    if (device["dllPath"].GetString() == library) return JsonText(device);
  }
  return {};
}

// A Windows path as a JSON string body: backslashes doubled.
std::string Escaped(const std::string& path) {
  std::string out;
  for (char c : path)
    out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

std::string Expected(const std::string& subkey, const std::string& library, unsigned bitness,
                     const std::string& version) {
  return R"({"name":")" + subkey + R"(","vendor":"tarnix e2e","dllPath":")" + Escaped(library) +
         R"(","canIso15765":true,"canIso11898":true,"compatible":true,"bitness":)" +
         std::to_string(bitness) + R"(,"available":true,"unavailableReason":null,"apiVersion":")" +
         version + R"(","supportedProtocols":["CAN","ISO-TP"]})";
}

TEST(Discovery, ListsLibrariesOfBothWidthsAndSharesTheVersionCache) {
  const std::string own = BinaryPath("ptsim0500.dll");
  const std::string other = OtherWidthFile("ptsim0500.dll");
  if (!std::filesystem::exists(other))
    GTEST_SKIP() << "the other width's build is absent: " << other;
  const std::string tag = "tarnix-e2e-" + std::to_string(platform::CurrentProcessId());
  const Registration own_entry(
      kBitness == 64 ? platform::RegistryView::k64Bit : platform::RegistryView::k32Bit,
      tag + "-own", own);
  const Registration other_entry(
      kBitness == 64 ? platform::RegistryView::k32Bit : platform::RegistryView::k64Bit,
      tag + "-other", other);
  const test_support::TempFolder appdata_folder("e2e-appdata");
  const std::string appdata = appdata_folder.Prefix();
  const std::string cache = appdata + "tarnix\\api_version_cache.json";
  const platform::EnvironmentChanges env{{"LOCALAPPDATA", appdata}};
  const unsigned other_bitness = kBitness == 64 ? 32 : 64;

  {
    Bridge bridge(env);
    // Our own width is probed and stored; the other width cannot be loaded here, so it answers
    // 04.04, and that guess is not stored.
    EXPECT_EQ(DeviceFor(bridge, own, 1), Expected(tag + "-own", own, kBitness, "05.00"));
    EXPECT_EQ(DeviceFor(bridge, other, 2), Expected(tag + "-other", other, other_bitness, "04.04"));
    bridge.Disconnect();
    EXPECT_EQ(bridge.WaitExit(), 0);
  }
  const std::string stored = ReadFileText(cache);
  EXPECT_NE(stored.find("\"" + Escaped(own) + "|"), std::string::npos) << stored;
  EXPECT_EQ(stored.find("\"" + Escaped(other)), std::string::npos) << stored;

  // The other build probes its own width and stores 05.00, which this bridge then reads.
  if (platform::GetEnvironment("TARNIX_E2E_OTHER_WIDTH_EMULATED")) {
    GTEST_SKIP() << "the other width's bridge runs emulated here, minutes for each start";
  }
  const std::string other_bridge = OtherWidthFile("tarnix.exe");
  auto probe = platform::ChildProcess::Spawn(other_bridge, {}, {}, appdata + "probe.err");
  if (!probe.ok() || probe->Wait(60000) != std::optional<int>(1)) {
    GTEST_SKIP() << "the other width's bridge cannot run on this machine";
  }
  {
    Bridge other_side(env, std::nullopt, other_bridge);
    EXPECT_EQ(DeviceFor(other_side, other, 3),
              Expected(tag + "-other", other, other_bitness, "05.00"));
    other_side.Disconnect();
    EXPECT_EQ(other_side.WaitExit(), 0);
  }
  Bridge bridge(env);
  EXPECT_EQ(DeviceFor(bridge, other, 4), Expected(tag + "-other", other, other_bitness, "05.00"));
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
}

#else

TEST(Discovery, LinuxHasNoRegistryAndListsNothing) {
  Bridge bridge;
  EXPECT_EQ(bridge.Call(R"({"id":1,"method":"EnumerateDevices"})"),
            R"({"id":1,"status":"ok","data":[]})");
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
}

#endif

}  // namespace
}  // namespace tarnix::e2e
