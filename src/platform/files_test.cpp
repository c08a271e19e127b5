// The file service: exact reads at offsets, sharing, modification times, whole files and folders.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_folder.h"

namespace tarnix::platform {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class FilesTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return Utf8(folder_ / name); }
  void Write(const char* name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }

  // A non-ASCII folder name checks that paths travel as UTF-8 all the way down.
  const test_support::TempFolder temp_{"files-\xC3\xA9\xE6\xB8\xAC"};
  const fs::path& folder_ = temp_.path();
};

TEST_F(FilesTest, ReadsExactlyTheBytesAskedForAtAnOffset) {
  Write("data", "0123456789");
  auto file = InputFile::Open(Path("data"));
  ASSERT_TRUE(file.ok()) << file.error().text;
  char buffer[4] = {};
  ASSERT_TRUE(file->ReadAt(6, buffer, 4).ok());
  EXPECT_EQ(std::string(buffer, 4), "6789");
  ASSERT_TRUE(file->ReadAt(0, buffer, 2).ok());  // back to the start: offsets are absolute
  EXPECT_EQ(std::string(buffer, 2), "01");
  EXPECT_FALSE(file->ReadAt(7, buffer, 4).ok()) << "only three bytes are left";
  EXPECT_FALSE(file->ReadAt(100, buffer, 1).ok());
  EXPECT_TRUE(file->ReadAt(10, buffer, 0).ok());
  EXPECT_EQ(file->Size().value(), 10u);

  EXPECT_FALSE(InputFile::Open(Path("missing")).ok());
}

TEST_F(FilesTest, AnOpenFileCanStillBeWrittenAndDeletedByOthers) {
  Write("shared", "before");
  auto file = InputFile::Open(Path("shared"));
  ASSERT_TRUE(file.ok());
  EXPECT_TRUE(WriteWholeFile(Path("shared"), "after!").ok());
  char buffer[6] = {};
  ASSERT_TRUE(file->ReadAt(0, buffer, 6).ok());
  EXPECT_EQ(std::string(buffer, 6), "after!");
  std::error_code error;
  EXPECT_TRUE(fs::remove(folder_ / "shared", error)) << error.message();
}

TEST_F(FilesTest, LastWriteSecondsDropsFractionsAndStopsAt1970) {
  using namespace std::chrono;
  Write("timed", "x");
  const sys_time<milliseconds> when = sys_seconds(seconds(1000000000)) + milliseconds(700);
  fs::last_write_time(folder_ / "timed", file_clock::from_sys(when));
  auto seconds_since_1970 = LastWriteSeconds(Path("timed"));
  ASSERT_TRUE(seconds_since_1970.ok()) << seconds_since_1970.error().text;
  EXPECT_EQ(*seconds_since_1970, 1000000000u);

  std::error_code error;
  fs::last_write_time(folder_ / "timed",
                      file_clock::from_sys(sys_seconds(sys_days(year(1969) / January / 1))), error);
  ASSERT_FALSE(error) << error.message();
  seconds_since_1970 = LastWriteSeconds(Path("timed"));
  ASSERT_TRUE(seconds_since_1970.ok());
  EXPECT_EQ(*seconds_since_1970, 0u);

  EXPECT_FALSE(LastWriteSeconds(Path("missing")).ok());
}

TEST_F(FilesTest, WritesAndReadsWholeFiles) {
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_TRUE(WriteWholeFile(Path("whole"), std::string(100000, 'z')).ok());
  ASSERT_TRUE(WriteWholeFile(Path("whole"), binary).ok());  // truncates the longer content
  auto content = ReadWholeFile(Path("whole"));
  ASSERT_TRUE(content.ok());
  EXPECT_EQ(*content, binary);

  ASSERT_TRUE(WriteWholeFile(Path("empty"), "").ok());
  EXPECT_EQ(ReadWholeFile(Path("empty")).value(), "");
  EXPECT_FALSE(ReadWholeFile(Path("missing")).ok());
  EXPECT_FALSE(WriteWholeFile(Utf8(folder_ / "no" / "file"), "x").ok());
}

TEST_F(FilesTest, ListsTheNamesInAFolder) {
  Write("b", "x");
  std::ofstream(folder_ / fs::path(u8"\u00e9.json")) << "";  // listed as UTF-8
  fs::create_directory(folder_ / "sub");
  auto names = ListFolder(Utf8(folder_));
  ASSERT_TRUE(names.ok()) << names.error().text;
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"b", "sub", "\u00e9.json"}));
  EXPECT_EQ(ListFolder(Path("sub")).value(), std::vector<std::string>{});
  EXPECT_FALSE(ListFolder(Path("missing")).ok());
  EXPECT_FALSE(ListFolder(Path("b")).ok()) << "a file";
}

TEST_F(FilesTest, CreatesFoldersWithTheirParents) {
  const std::string separator(1, PathSeparator());
  const std::string nested = Utf8(folder_) + separator + "a" + separator + "b" + separator + "c";
  ASSERT_TRUE(CreateFolders(nested).ok());
  EXPECT_TRUE(fs::is_directory(folder_ / "a" / "b" / "c"));
  EXPECT_TRUE(CreateFolders(nested).ok()) << "an existing folder is fine";

  Write("plain", "x");
  EXPECT_FALSE(CreateFolders(Path("plain")).ok());
  EXPECT_FALSE(CreateFolders(Path("plain") + separator + "below").ok());
}

}  // namespace
}  // namespace tarnix::platform
