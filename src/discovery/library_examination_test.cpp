// Library examination: the PE header read from a file, and what a library that cannot be examined
// yields.
#include "discovery/library_examination.h"

#include <gtest/gtest.h>

#include "discovery/test_files.h"
#include "tests/support/temp_folder.h"

namespace tarnix::discovery {
namespace {

using testing::PeHeader;

std::vector<uint8_t> Truncated(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

std::vector<uint8_t> With(std::vector<uint8_t> bytes, size_t at, uint8_t value) {
  bytes[at] = value;
  return bytes;
}

std::vector<uint8_t> WithLfanew(std::vector<uint8_t> bytes, uint32_t offset) {
  for (int i = 0; i < 4; ++i)
    bytes[0x3C + i] = static_cast<uint8_t>(offset >> (8 * i));
  return bytes;
}

TEST(ReadLibraryBitness, ReadsTheMachineOfThePeHeader) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::optional<uint8_t> expected;
  };
  const Case cases[] = {
      {"x64", PeHeader(testing::kMachineAmd64), 64},
      {"ARM64", PeHeader(testing::kMachineArm64), 64},
      {"i386", PeHeader(testing::kMachineI386), 32},
      {"PE header right after the DOS header", PeHeader(testing::kMachineI386, 64), 32},
      {"only the six bytes after e_lfanew", Truncated(PeHeader(testing::kMachineAmd64), 0x86), 64},
      {"ARM (32-bit Thumb) is not listed", PeHeader(0x01C4), std::nullopt},
      {"IA-64 is not listed", PeHeader(0x0200), std::nullopt},
      {"unknown machine 0", PeHeader(0), std::nullopt},
      {"no MZ", With(PeHeader(testing::kMachineAmd64), 0, 'Z'), std::nullopt},
      {"lower-case mz", With(With(PeHeader(testing::kMachineAmd64), 0, 'm'), 1, 'z'), std::nullopt},
      {"PE signature damaged", With(PeHeader(testing::kMachineAmd64), 0x82, 1), std::nullopt},
      {"shorter than the DOS header", Truncated(PeHeader(testing::kMachineAmd64), 63),
       std::nullopt},
      {"machine field cut off", Truncated(PeHeader(testing::kMachineAmd64), 0x85), std::nullopt},
      {"e_lfanew past the end", WithLfanew(PeHeader(testing::kMachineAmd64), 0x1080), std::nullopt},
      {"e_lfanew near 4 GiB", WithLfanew(PeHeader(testing::kMachineAmd64), 0xFFFFFFF0),
       std::nullopt},
      {"empty file", {}, std::nullopt},
  };
  const test_support::TempFolder folder("discovery");
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = folder.File("lib" + std::to_string(n++) + ".dll");
    testing::WriteBytes(path, c.bytes);
    EXPECT_EQ(ReadLibraryBitness(path, ImageFormat::kPe), c.expected) << c.what;
  }
  EXPECT_EQ(ReadLibraryBitness(folder.File("missing.dll"), ImageFormat::kPe), std::nullopt);
  EXPECT_EQ(ReadLibraryBitness(testing::Utf8(folder.path()), ImageFormat::kPe), std::nullopt)
      << "a folder";
}

TEST(ExamineLibrary, ALibraryThatCannotBeExaminedIsListedUnavailable) {
  const test_support::TempFolder folder("discovery");
  testing::ScopedCacheFolder cache(folder.File("appdata"));
  const std::string no_mz = folder.File("text.dll");
  testing::WriteBytes(no_mz, {'h', 'e', 'l', 'l', 'o'});
  for (const std::string& path : {folder.File("missing.dll"), no_mz}) {
    for (const bool from_0500 : {false, true}) {
      const LibraryExamination examined = ExamineLibrary(path, from_0500, ImageFormat::kPe);
      EXPECT_EQ(examined.bitness, sizeof(void*) * 8);
      EXPECT_FALSE(examined.available);
      EXPECT_EQ(examined.unavailable_reason, "DLL not found");
      EXPECT_EQ(examined.api_version, from_0500 ? "05.00" : "04.04");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "appdata")) << "the cache was touched";
}

}  // namespace
}  // namespace tarnix::discovery
