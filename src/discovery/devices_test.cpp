// Enumeration over a fake registry: source order, defaults, duplicates, names and protocols.
#include "discovery/devices.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "discovery/fake_registry.h"
#include "discovery/library_examination.h"
#include "discovery/registry_source.h"
#include "discovery/test_files.h"
#include "discovery/test_images.h"
#include "tests/support/temp_folder.h"
#include "wire/types.h"

namespace tarnix::discovery {
namespace {

using platform::RegistryView;
using testing::FakeRegistry;
using testing::k0404;
using testing::k0500;
using testing::NumberValue;
using testing::TextValue;

// Libraries that do not exist: the examination lists them without reading or caching.
std::u16string MissingLibrary(const std::u16string& name) {
  return u"Z:\\no such dir\\" + name;
}

class EnumerateDevicesTest : public ::testing::Test {
 protected:
  // Any cache activity would land in this folder, which must stay empty.
  test_support::TempFolder folder_{"discovery"};
  testing::ScopedCacheFolder cache_{testing::Utf8(folder_.path())};
  FakeRegistry registry_;

  std::vector<wire::DeviceInfo> Enumerate() {
    auto devices = EnumerateDevices(RegistrySource(registry_));
    EXPECT_TRUE(std::filesystem::is_empty(folder_.path()));
    return devices;
  }

  // A registration with a name and a (missing) library of the same name.
  testing::FakeRegistration& Add(const char* key, RegistryView view, const std::u16string& name) {
    return registry_.Add(key, view, u"sub-" + name)
        .Set("Name", TextValue(name))
        .Set("FunctionLibrary", TextValue(MissingLibrary(name + u".dll")));
  }
};

std::vector<std::string> Names(const std::vector<wire::DeviceInfo>& devices) {
  std::vector<std::string> names;
  for (const auto& device : devices)
    names.push_back(device.name);
  return names;
}

TEST_F(EnumerateDevicesTest, NoKeysGiveAnEmptyList) {
  EXPECT_TRUE(Enumerate().empty());
}

TEST_F(EnumerateDevicesTest, ListsSourcesInTableOrderAndSubkeysInRegistryOrder) {
  // Added out of order: the enumeration, not the insertion, decides.
  Add(k0500, RegistryView::k32Bit, u"E");
  Add(k0500, RegistryView::k64Bit, u"D");
  Add(k0404, RegistryView::k32Bit, u"C");
  Add(k0404, RegistryView::k64Bit, u"A");
  Add(k0404, RegistryView::k64Bit, u"B");
  EXPECT_EQ(Names(Enumerate()), (std::vector<std::string>{"A", "B", "C", "D", "E"}));
}

TEST_F(EnumerateDevicesTest, DefaultsDependOnTheSourceVersion) {
  Add(k0404, RegistryView::k64Bit, u"Old").Set("Vendor", TextValue(u"V"));
  Add(k0500, RegistryView::k32Bit, u"New");
  const auto devices = Enumerate();
  ASSERT_EQ(devices.size(), 2u);

  wire::DeviceInfo old_device;
  old_device.name = "Old";
  old_device.vendor = "V";
  old_device.dll_path = "Z:\\no such dir\\Old.dll";
  old_device.compatible = true;
  old_device.bitness = kOwnBitness;
  old_device.available = false;
  old_device.unavailable_reason = "DLL not found";
  old_device.api_version = "04.04";
  EXPECT_EQ(devices[0], old_device);

  EXPECT_EQ(devices[1].vendor, "");
  EXPECT_TRUE(devices[1].can_iso15765);
  EXPECT_TRUE(devices[1].can_iso11898);
  EXPECT_EQ(devices[1].api_version, "05.00");
  EXPECT_EQ(devices[1].supported_protocols, (std::vector<std::string>{"CAN", "ISO-TP"}));
}

TEST_F(EnumerateDevicesTest, ProtocolValuesGiveLabelsInTableOrder) {
  auto& registration = Add(k0404, RegistryView::k64Bit, u"P");
  // Set in reverse table order; big-endian and any non-zero number count.
  registration.Set("TP2_0_PS", NumberValue(1))
      .Set("SW_CAN_PS", NumberValue(0))
      .Set("ISO15765_FD_PS", NumberValue(7))
      .Set("can_fd_ps", NumberValue(1))  // names are matched without regard to case
      .Set("J1850VPW", {platform::kRegDwordBigEndian, {0, 0, 0, 1}})
      .Set("J1850PWM", {platform::kRegDwordBigEndian, {1, 0, 0, 0}})
      .Set("ISO14230", NumberValue(1))
      .Set("ISO9141", TextValue(u"1"))  // text where a number belongs: missing
      .Set("ISO15765", NumberValue(1))
      .Set("CAN", NumberValue(0xFFFFFFFF));
  const auto devices = Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_TRUE(devices[0].can_iso15765);
  EXPECT_TRUE(devices[0].can_iso11898);
  EXPECT_EQ(devices[0].supported_protocols,
            (std::vector<std::string>{"CAN", "ISO-TP", "ISO 14230", "J1850 PWM", "J1850 VPW",
                                      "CAN-FD", "ISO-TP FD", "TP 2.0"}));
}

TEST_F(EnumerateDevicesTest, UnreadableNumbersTakeTheSourceDefault) {
  // In a 05.00 source a CAN value stored as text still counts as 1, whatever the text says.
  Add(k0500, RegistryView::k64Bit, u"Text")
      .Set("CAN", TextValue(u"0"))
      .Set("ISO15765", {platform::kRegDword, {0, 0}});
  Add(k0500, RegistryView::k64Bit, u"Off")
      .Set("CAN", NumberValue(0))
      .Set("ISO15765", NumberValue(0));
  const auto devices = Enumerate();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_TRUE(devices[0].can_iso11898);
  EXPECT_TRUE(devices[0].can_iso15765);
  EXPECT_EQ(devices[0].supported_protocols, (std::vector<std::string>{"CAN", "ISO-TP"}));
  EXPECT_FALSE(devices[1].can_iso11898);
  EXPECT_FALSE(devices[1].can_iso15765);
  EXPECT_TRUE(devices[1].supported_protocols.empty());
}

TEST_F(EnumerateDevicesTest, SkipsRegistrationsWithoutALibrary) {
  registry_.Add(k0404, RegistryView::k64Bit, u"none").Set("Name", TextValue(u"None"));
  Add(k0404, RegistryView::k64Bit, u"Empty").Set("FunctionLibrary", TextValue(u""));
  Add(k0404, RegistryView::k64Bit, u"Nuls").Set("FunctionLibrary", TextValue(u"\0\0"));
  Add(k0404, RegistryView::k64Bit, u"Number").Set("FunctionLibrary", NumberValue(1));
  Add(k0404, RegistryView::k64Bit, u"Kept");
  EXPECT_EQ(Names(Enumerate()), (std::vector<std::string>{"Kept"}));
}

TEST_F(EnumerateDevicesTest, ListsEachLibraryOnceAsFirstRegistered) {
  const std::u16string shared = MissingLibrary(u"shared.dll");
  registry_.Add(k0500, RegistryView::k64Bit, u"a")
      .Set("Name", TextValue(u"Third"))
      .Set("FunctionLibrary", TextValue(shared));
  registry_.Add(k0404, RegistryView::k32Bit, u"b")
      .Set("Name", TextValue(u"First"))
      .Set("FunctionLibrary", TextValue(shared));
  registry_.Add(k0404, RegistryView::k64Bit, u"c")
      .Set("Name", TextValue(u"Other"))
      .Set("FunctionLibrary", TextValue(MissingLibrary(u"SHARED.dll")));  // differs in case: kept
  registry_.Add(k0500, RegistryView::k32Bit, u"d")
      .Set("Name", TextValue(u"Fourth"))
      .Set("FunctionLibrary", TextValue(shared));
  const auto devices = Enumerate();
  ASSERT_EQ(Names(devices), (std::vector<std::string>{"Other", "First"}));
  // The first source's defaults hold: a 04.04 registration.
  EXPECT_EQ(devices[1].api_version, "04.04");
  EXPECT_FALSE(devices[1].can_iso11898);
}

TEST_F(EnumerateDevicesTest, CleansNamesAndFallsBackToTheSubkeyName) {
  Add(k0404, RegistryView::k64Bit, u"Word  (64-bit) (x64)");
  Add(k0404, RegistryView::k64Bit, u" (32 bit)  (x86) ");
  registry_.Add(k0404, RegistryView::k64Bit, u"  Sub\tKey (missing) ")
      .Set("FunctionLibrary", TextValue(MissingLibrary(u"unnamed.dll")));
  registry_.Add(k0404, RegistryView::k64Bit, u"typed")
      .Set("Name", NumberValue(5))  // a name that is no text counts as missing
      .Set("FunctionLibrary", TextValue(MissingLibrary(u"typed.dll")));
  Add(k0404, RegistryView::k64Bit, u"x")
      .Set("Name", TextValue(std::u16string(u"Multi\0Line\0", 11), platform::kRegMultiSz));
  EXPECT_EQ(Names(Enumerate()),
            (std::vector<std::string>{"Word", "", "Sub Key", "typed", "Multi Line"}));
}

TEST_F(EnumerateDevicesTest, MarksA0500NameThatIsAlreadyListed) {
  Add(k0404, RegistryView::k64Bit, u"Tool (64-bit)");
  Add(k0404, RegistryView::k32Bit, u"Tool");        // 04.04 sources never get the suffix
  Add(k0500, RegistryView::k64Bit, u"Tool (x64)");  // compared after cleaning
  Add(k0500, RegistryView::k32Bit, u" Tool ");      // still tested against "Tool": not doubled
  Add(k0500, RegistryView::k32Bit, u"Solo");
  EXPECT_EQ(Names(Enumerate()),
            (std::vector<std::string>{"Tool", "Tool", "Tool (v5.0)", "Tool (v5.0)", "Solo"}));
}

TEST_F(EnumerateDevicesTest, SkipsSubkeysThatCannotBeRead) {
  Add(k0404, RegistryView::k64Bit, u"Failed index").enumeration_fails = true;
  registry_.Add(k0404, RegistryView::k64Bit, std::u16string(1, char16_t(0xDC00)))
      .Set("FunctionLibrary", TextValue(MissingLibrary(u"bad-name.dll")));
  Add(k0404, RegistryView::k64Bit, u"Not openable").open_fails = true;
  Add(k0404, RegistryView::k64Bit, u"Good");
  EXPECT_EQ(Names(Enumerate()), (std::vector<std::string>{"Good"}));
}

TEST_F(EnumerateDevicesTest, ReadsAnExistingLibraryAsAPeImage) {
  const test_support::TempFolder libraries("discovery");
  const std::string library = libraries.File("lib32.dll");
  testing::WriteBytes(library, testing::BuildPe({.names = {"PassThruScanForDevices"}}).bytes);
  registry_.Add(k0404, RegistryView::k64Bit, u"r")
      .Set("Name", TextValue(u"Real"))
      .Set("FunctionLibrary", TextValue(Utf8ToUtf16(library)));
  // No cache: the export table decides, even against the 04.04 source.
  testing::ScopedCacheFolder no_cache(std::nullopt);
  const auto devices = Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].bitness, 32);
  EXPECT_TRUE(devices[0].available);
  EXPECT_EQ(devices[0].unavailable_reason, std::nullopt);
  EXPECT_EQ(devices[0].api_version, "05.00");
}

}  // namespace
}  // namespace tarnix::discovery
