// The folder source over folders the tests write: which files are read in which order, and the
// devices listed from them with their libraries read as ELF images.
#include "discovery/folder_source.h"

#include <gtest/gtest.h>

#include "discovery/devices.h"
#include "discovery/library_examination.h"
#include "discovery/registration_file.h"
#include "discovery/test_files.h"
#include "discovery/test_images.h"
#include "discovery/version_cache.h"
#include "platform/files.h"
#include "tests/support/temp_folder.h"
#include "wire/types.h"

namespace tarnix::discovery {
namespace {

// `text` as a JSON string: Windows paths hold backslashes.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

class FolderSourceTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& text) const {
    testing::WriteBytes(folder_.path() / name, std::vector<uint8_t>(text.begin(), text.end()));
  }
  // A registration file naming `library` and nothing else.
  void Register(const std::string& name, const std::string& library) const {
    Write(name, R"({"FUNCTION_LIB": )" + Quoted(library) + "}");
  }
  std::string Folder() const { return testing::Utf8(folder_.path()); }

  test_support::TempFolder folder_{"discovery"};
};

std::vector<std::string> OwnNames(const std::vector<Registration>& registrations) {
  std::vector<std::string> names;
  for (const Registration& registration : registrations)
    names.push_back(registration.own_name);
  return names;
}

TEST_F(FolderSourceTest, ReadsTheJsonFilesInFileNameOrder) {
  Register("b.json", "/b.so");
  Register("a.json", "/a.so");
  Register("C.json", "/c.so");
  Register("a.json.bak", "/bak.so");
  Register("notes.txt", "/txt.so");
  Register(".hidden.json", "/hidden.so");
  Register(".json", "/nameless.so");
  Write("broken.json", "{");
  std::filesystem::create_directory(folder_.path() / "folder.json");
  // The size bound: a file of exactly the bound is read, a larger one is not.
  const std::string record = R"({"FUNCTION_LIB": "/x.so"})";
  Write("limit.json", record + std::string(kMaxRegistrationFileBytes - record.size(), ' '));
  Write("large.json", record + std::string(kMaxRegistrationFileBytes - record.size() + 1, ' '));

  const std::vector<Registration> read = FolderSource(Folder()).Read();
  EXPECT_EQ(OwnNames(read), (std::vector<std::string>{"C", "a", "b", "limit"}));
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0].library, "/c.so");
}

TEST_F(FolderSourceTest, NoFolderHoldsNoRegistrations) {
  Register("a.json", "/a.so");
  EXPECT_TRUE(FolderSource(std::nullopt).Read().empty());
  EXPECT_TRUE(FolderSource(folder_.File("missing")).Read().empty());
  EXPECT_TRUE(FolderSource(folder_.File("a.json")).Read().empty()) << "a file, not a folder";

  testing::ScopedEnvironment home("HOME", Folder());
  EXPECT_EQ(HomeRegistrationFolder(), Folder() + platform::PathSeparator() + ".passthru");
  testing::ScopedEnvironment empty("HOME", "");
  EXPECT_EQ(HomeRegistrationFolder(), std::nullopt);
  testing::ScopedEnvironment unset("HOME", std::nullopt);
  EXPECT_EQ(HomeRegistrationFolder(), std::nullopt);
}

TEST_F(FolderSourceTest, ListsDevicesAsA0404SourceWithElfLibraries) {
  const test_support::TempFolder libraries("discovery");
  const std::string elf32 = libraries.File("libpt32.so");
  testing::ElfLayout spec32{.is64 = false, .machine = 3, .symbols = {{"PassThruScanForDevices"}}};
  testing::WriteBytes(elf32, testing::BuildElf(spec32).bytes);
  const std::string elf64 = libraries.File("libpt64.so");
  testing::WriteBytes(elf64, testing::BuildElf({.symbols = {{"PassThruOpen"}}}).bytes);
  const std::string missing = libraries.File("missing.so");
  Write("1.json", R"j({"NAME": "Adapter  (32-bit)", "VENDOR": "V", "FUNCTION_LIB": )j" +
                      Quoted(elf32) + R"(, "CAN": true, "ISO15765": 1, "J1850VPW": 1})");
  Register("2-missing.json", missing);
  Register("3-same-library.json", elf32);
  Register("4-empty-library.json", "");
  Write("5.json", R"({"NAME": "Adapter", "FUNCTION_LIB": )" + Quoted(elf64) + "}");
  testing::ScopedCacheFolder cache(libraries.File("cache"));

  const std::vector<wire::DeviceInfo> devices = EnumerateDevices(FolderSource(Folder()));
  ASSERT_EQ(devices.size(), 3u);
  wire::DeviceInfo first;
  first.name = "Adapter";
  first.vendor = "V";
  first.dll_path = elf32;
  first.can_iso15765 = true;
  first.can_iso11898 = true;
  first.compatible = true;
  first.bitness = 32;
  first.available = true;
  first.api_version = "05.00";
  first.supported_protocols = {"CAN", "ISO-TP", "J1850 VPW"};
  EXPECT_EQ(devices[0], first);

  // Like a 04.04 registration: no protocols assumed, no " (v5.0)" for a name listed before.
  wire::DeviceInfo absent;
  absent.name = "2-missing";
  absent.dll_path = missing;
  absent.compatible = true;
  absent.bitness = kOwnBitness;
  absent.unavailable_reason = "DLL not found";
  absent.api_version = "04.04";
  EXPECT_EQ(devices[1], absent);
  EXPECT_EQ(devices[2].name, "Adapter");
  EXPECT_EQ(devices[2].bitness, 64);
  EXPECT_EQ(devices[2].api_version, "04.04");

  const auto stored =
      platform::ReadSmallFile(*VersionCachePath(), 1 << 20, platform::FinalLink::kRefuse);
  ASSERT_TRUE(stored.ok());
  EXPECT_EQ(*stored, FormatVersionCache(
                         {{VersionCacheKey(elf32), "05.00"}, {VersionCacheKey(elf64), "04.04"}}));
}

}  // namespace
}  // namespace tarnix::discovery
