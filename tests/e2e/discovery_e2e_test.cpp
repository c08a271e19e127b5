// EnumerateDevices through the real bridge: registrations (registry keys on Windows, files in
// $HOME/.passthru on Linux), each library's width and version read from its file without loading
// it, and the version cache in this system's cache folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bridge_harness.h"
#include "common/text.h"
#include "discovery/fake_registry.h"
#include "json_helpers.h"
#include "platform/environment.h"
#include "platform/registry.h"
#include "ptsim_session.h"
#include "tests/support/temp_folder.h"

namespace tarnix::e2e {
namespace {

// The device object the bridge writes for a library that registers CAN and ISO 15765.
std::string Expected(const std::string& name, const std::string& vendor, const std::string& library,
                     unsigned bitness, const std::string& version) {
  return R"({"name":")" + name + R"(","vendor":")" + vendor + R"(","dllPath":)" +
         JsonQuoted(library) +
         R"(,"canIso15765":true,"canIso11898":true,"compatible":true,"bitness":)" +
         std::to_string(bitness) + R"(,"available":true,"unavailableReason":null,"apiVersion":")" +
         version + R"(","supportedProtocols":["CAN","ISO-TP"]})";
}

#ifdef _WIN32

constexpr char kKey[] = "SOFTWARE\\PassThruSupport.05.00\\";

// The device object listed for `library` in an EnumerateDevices answer, as JSON text; empty when
// it is not listed.
std::string DeviceFor(const Reply& reply, const std::string& library) {
  for (const auto& device : reply.data().GetArray()) {
    if (device["dllPath"].GetString() == library) return JsonText(device);
  }
  return {};
}

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
      const Result<void> written = platform::WriteLocalMachineValue(
          path_, view_, name, discovery::testing::TextValue(Utf8ToUtf16(text)));
      EXPECT_TRUE(written.ok()) << written.error().text;
    }
  }
  ~Registration() { (void)platform::DeleteLocalMachineTree(path_, view_); }

 private:
  platform::RegistryView view_;
  std::string path_;
};

TEST(Discovery, ReadsTheVersionsOfLibrariesOfBothWidthsWithoutLoadingThem) {
  const std::string own0404 = PtsimPath("ptsim0404");
  const std::string own0500 = PtsimPath("ptsim0500");
  const std::string other = OtherWidthFile("ptsim0500.dll");
  if (!std::filesystem::exists(other))
    GTEST_SKIP() << "the other width's build is absent: " << other;
  const std::string tag = "tarnix-e2e-" + std::to_string(platform::CurrentProcessId());
  const auto own_view =
      kBitness == 64 ? platform::RegistryView::k64Bit : platform::RegistryView::k32Bit;
  const auto other_view =
      kBitness == 64 ? platform::RegistryView::k32Bit : platform::RegistryView::k64Bit;
  const Registration entries[] = {{own_view, tag + "-0404", own0404},
                                  {own_view, tag + "-0500", own0500},
                                  {other_view, tag + "-other", other}};
  const test_support::TempFolder appdata("e2e-discovery");
  const unsigned other_bitness = kBitness == 64 ? 32 : 64;

  PtsimSession session({{"LOCALAPPDATA", appdata.path().string()}});
  const Reply listed = session.Call("EnumerateDevices");
  // The file decides, not the key: ptsim0404 registered as 05.00 is read as 04.04; the library
  // this build could not load is read as 05.00 all the same.
  EXPECT_EQ(DeviceFor(listed, own0404),
            Expected(tag + "-0404", "tarnix e2e", own0404, kBitness, "04.04"));
  EXPECT_EQ(DeviceFor(listed, own0500),
            Expected(tag + "-0500", "tarnix e2e", own0500, kBitness, "05.00"));
  EXPECT_EQ(DeviceFor(listed, other),
            Expected(tag + "-other", "tarnix e2e", other, other_bitness, "05.00"));
  EXPECT_TRUE(session.Log().empty()) << "a library was loaded";
  EXPECT_EQ(session.Finish(), 0);

  const std::string stored = ReadFileText(appdata.File("tarnix\\api_version_cache.json"));
  for (const std::string& library : {own0404, own0500, other}) {
    const std::string quoted = JsonQuoted(library);
    EXPECT_NE(stored.find(quoted.substr(0, quoted.size() - 1) + "|"), std::string::npos) << stored;
  }
}

#else

// Writes `text` to `path`.
void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(Discovery, ListsRegistrationFilesAndOpensTheListedLibraryWithoutLoadingAtListing) {
  const test_support::TempFolder home("e2e-discovery");
  std::filesystem::create_directory(home.path() / ".passthru");
  const std::string sim0404 = PtsimPath("ptsim0404");
  const std::string sim0500 = PtsimPath("ptsim0500");
  WriteText(home.path() / ".passthru" / "b.json",
            R"({"NAME": "ptsim 04.04", "VENDOR": "tarnix e2e", "FUNCTION_LIB": )" +
                JsonQuoted(sim0404) + R"(, "CAN": true, "ISO15765": 1, "ISO9141": false})");
  WriteText(home.path() / ".passthru" / "a.json",
            R"j({"NAME": "ptsim (64-bit)", "VENDOR": "tarnix e2e", "FUNCTION_LIB": )j" +
                JsonQuoted(sim0500) + R"(, "CAN": 1, "ISO15765": true})");

  PtsimSession session({{"HOME", home.path().string()}, {"XDG_CACHE_HOME", std::nullopt}});
  const Reply listed = session.Call("EnumerateDevices");
  EXPECT_EQ(listed.Data(), "[" + Expected("ptsim", "tarnix e2e", sim0500, kBitness, "05.00") + "," +
                               Expected("ptsim 04.04", "tarnix e2e", sim0404, kBitness, "04.04") +
                               "]");
  EXPECT_TRUE(session.Log().empty()) << "a library was loaded";
  EXPECT_TRUE(
      std::filesystem::exists(home.path() / ".cache" / "tarnix" / "api_version_cache.json"));

  ASSERT_TRUE(listed.ok() && listed.data().Size() == 2);
  EXPECT_TRUE(session.OpenPath(listed.data()[0]["dllPath"].GetString(), 6).ok());
  const LoggedCalls log = session.Log();
  EXPECT_EQ(CallsOf(log, "load").size(), 1u) << "the log shows loads";
  EXPECT_EQ(session.Finish(), 0);
}

#endif

}  // namespace
}  // namespace tarnix::e2e
