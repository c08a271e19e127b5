// The file service: exact reads at offsets, sharing, modification times, small files read whole and
// replaced whole, what is refused, and folders.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/append_file.h"
#include "platform/process.h"
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
  std::ofstream(folder_ / "shared", std::ios::binary) << "after!";
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

TEST_F(FilesTest, ReplacesAndReadsSmallFilesWhole) {
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_TRUE(ReplaceWholeFile(Path("whole"), std::string(100000, 'z')).ok());
  ASSERT_TRUE(
      ReplaceWholeFile(Path("whole"), binary).ok());  // nothing of the longer content is left
  EXPECT_EQ(ReadSmallFile(Path("whole"), 6, FinalLink::kRefuse).value(), binary);
  EXPECT_FALSE(ReadSmallFile(Path("whole"), 5, FinalLink::kRefuse).ok()) << "over the bound";
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
      << "no temporary file is left beside it";

  ASSERT_TRUE(ReplaceWholeFile(Path("empty"), "").ok());
  EXPECT_EQ(ReadSmallFile(Path("empty"), 0, FinalLink::kRefuse).value(), "");
  EXPECT_FALSE(ReadSmallFile(Path("missing"), 10, FinalLink::kFollow).ok());
  EXPECT_FALSE(ReplaceWholeFile(Utf8(folder_ / "no" / "file"), "x").ok());
}

TEST_F(FilesTest, OnlyRegularFilesAreOpened) {
  fs::create_directory(folder_ / "sub");
  for (const std::string& path : {std::string(kNullDevice), Path("sub")}) {
    const auto read = ReadSmallFile(path, 10, FinalLink::kFollow);
    ASSERT_FALSE(read.ok()) << path;
    const auto appended = AppendFile::Open(path);
    ASSERT_FALSE(appended.ok()) << path;
    if (path == kNullDevice) {
      EXPECT_EQ(read.error().text, "not a regular file");
      EXPECT_EQ(appended.error().text, "not a regular file");
    }
  }
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
  ASSERT_TRUE(CreatePrivateFolders(nested).ok());
  EXPECT_TRUE(fs::is_directory(folder_ / "a" / "b" / "c"));
  EXPECT_TRUE(CreatePrivateFolders(nested).ok()) << "an existing folder is fine";

  Write("plain", "x");
  EXPECT_FALSE(CreatePrivateFolders(Path("plain")).ok());
  EXPECT_FALSE(CreatePrivateFolders(Path("plain") + separator + "below").ok());
}

}  // namespace
}  // namespace tarnix::platform
