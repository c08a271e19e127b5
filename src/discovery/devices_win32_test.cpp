// Enumeration through the real Windows registry: registrations written into both views of both
// keys, read back, and removed. Writes HKEY_LOCAL_MACHINE, so it must not run beside another
// test that does.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/text.h"
#include "discovery/devices.h"
#include "discovery/fake_registry.h"
#include "discovery/library_examination.h"
#include "discovery/registry_source.h"
#include "discovery/test_files.h"
#include "discovery/version_cache.h"
#include "platform/dynamic_library.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"
#include "wire/types.h"

namespace tarnix::discovery {
namespace {

using platform::RegistryView;
using testing::k0404;
using testing::k0500;
using testing::NumberValue;
using testing::SimLibrary;
using testing::TextValue;

class RegistryEnumerationTest : public ::testing::Test {
 protected:
  ~RegistryEnumerationTest() override { RemoveAll(); }

  // Writes one registration with a name unique to this process; returns its key path.
  std::string Register(const char* source, RegistryView view, const std::u16string& name,
                       const std::string& library) {
    const std::string path = std::string(source) + "\\tarnix-test-" +
                             std::to_string(platform::CurrentProcessId()) + "-" +
                             std::to_string(written_.size());
    written_.push_back({path, view});
    Set(path, view, "Name", TextValue(name));
    Set(path, view, "FunctionLibrary", TextValue(Utf8ToUtf16(library)));
    return path;
  }

  static void Set(const std::string& path, RegistryView view, const char* name,
                  const platform::RegistryValue& value) {
    auto written = platform::WriteLocalMachineValue(path, view, name, value);
    ASSERT_TRUE(written.ok()) << written.error().text;
  }

  void RemoveAll() {
    for (const auto& [path, view] : written_) {
      auto removed = platform::DeleteLocalMachineTree(path, view);
      EXPECT_TRUE(removed.ok()) << removed.error().text;
    }
    written_.clear();
  }

  // The records of the libraries named in `ours`, in the order listed.
  std::vector<wire::DeviceInfo> Enumerate(const std::vector<std::string>& ours) {
    auto all = EnumerateDevices(RegistrySource(platform::SystemRegistry()));
    std::erase_if(all, [&](const wire::DeviceInfo& device) {
      return std::find(ours.begin(), ours.end(), device.dll_path) == ours.end();
    });
    return all;
  }

  test_support::TempFolder folder_{"discovery"};
  testing::ScopedCacheFolder cache_{folder_.File("appdata")};
  // Any load of a simulator library would write its "load" line here.
  testing::ScopedEnvironment log_{"PTSIM_LOG", folder_.File("ptsim.log")};
  std::vector<std::pair<std::string, RegistryView>> written_;
};

TEST_F(RegistryEnumerationTest, ReadsBothViewsOfBothKeys) {
  const std::string sim0404 = SimLibrary("ptsim0404");
  const std::string sim0500 = SimLibrary("ptsim0500");
  ASSERT_TRUE(std::filesystem::exists(sim0404) && std::filesystem::exists(sim0500))
      << "build the simulator libraries first";
  // A header of the other width without an export table: its width is known, its version not.
  const std::string foreign = folder_.File("foreign.dll");
  testing::WriteBytes(foreign, testing::PeHeader(kOwnBitness == 64 ? testing::kMachineI386
                                                                   : testing::kMachineAmd64));
  const std::string missing = folder_.File("missing.dll");

  const std::string first = Register(k0404, RegistryView::k64Bit, u"Sim  (64-bit)", sim0404);
  Set(first, RegistryView::k64Bit, "VENDOR", TextValue(std::u16string(3000, u'v')));
  Set(first, RegistryView::k64Bit, "ISO15765", {platform::kRegDwordBigEndian, {0, 0, 0, 1}});
  Set(first, RegistryView::k64Bit, "J1850VPW", NumberValue(1));
  Register(k0404, RegistryView::k32Bit, u"Duplicate", sim0404);
  Register(k0404, RegistryView::k32Bit, u"Foreign (x86)", foreign);
  Register(k0500, RegistryView::k64Bit, u"Missing", missing);
  const std::string last = Register(k0500, RegistryView::k32Bit, u"Sim", sim0500);
  Set(last, RegistryView::k32Bit, "Vendor", TextValue(u"%Vendor%", platform::kRegExpandSz));

  const std::vector<std::string> ours = {sim0404, sim0500, foreign, missing};
  auto devices = Enumerate(ours);
  ASSERT_EQ(devices.size(), 4u);

  EXPECT_EQ(devices[0].name, "Sim");
  EXPECT_EQ(devices[0].dll_path, sim0404);
  EXPECT_EQ(devices[0].vendor, std::string(3000, 'v'));  // longer than the first buffer
  EXPECT_EQ(devices[0].bitness, kOwnBitness);
  EXPECT_TRUE(devices[0].available);
  EXPECT_EQ(devices[0].api_version, "04.04");
  EXPECT_TRUE(devices[0].can_iso15765);
  EXPECT_FALSE(devices[0].can_iso11898);
  EXPECT_EQ(devices[0].supported_protocols, (std::vector<std::string>{"ISO-TP", "J1850 VPW"}));

  EXPECT_EQ(devices[1].name, "Foreign");
  EXPECT_EQ(devices[1].bitness, kOwnBitness == 64 ? 32 : 64);
  EXPECT_TRUE(devices[1].available);
  EXPECT_EQ(devices[1].api_version, "04.04");

  EXPECT_EQ(devices[2].name, "Missing");
  EXPECT_FALSE(devices[2].available);
  EXPECT_EQ(devices[2].unavailable_reason, "DLL not found");
  EXPECT_EQ(devices[2].bitness, kOwnBitness);
  EXPECT_EQ(devices[2].api_version, "05.00");

  EXPECT_EQ(devices[3].name, "Sim (v5.0)");
  EXPECT_EQ(devices[3].vendor, "%Vendor%");
  EXPECT_EQ(devices[3].api_version, "05.00");
  EXPECT_EQ(devices[3].supported_protocols, (std::vector<std::string>{"CAN", "ISO-TP"}));

  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "ptsim.log")) << "a library was loaded";
  // Only the versions read from export tables are cached.
  const auto cache =
      platform::ReadSmallFile(*VersionCachePath(), 1 << 20, platform::FinalLink::kRefuse);
  ASSERT_TRUE(cache.ok());
  EXPECT_EQ(*cache, FormatVersionCache({{VersionCacheKey(sim0404), "04.04"},
                                        {VersionCacheKey(sim0500), "05.00"}}));

  EXPECT_EQ(Enumerate(ours), devices);

  RemoveAll();
  EXPECT_TRUE(Enumerate(ours).empty());
}

}  // namespace
}  // namespace tarnix::discovery
