// What the file service refuses on Linux, where others can plant FIFOs and symbolic links, and the
// modes of what it creates whatever the umask.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/append_file.h"
#include "platform/files.h"
#include "tests/support/temp_folder.h"

namespace tarnix::platform {
namespace {

namespace fs = std::filesystem;

constexpr char kLinkRefused[] = "a symbolic link, which is not followed";

// The umask 000 that a careless parent leaves, for one test.
class OpenUmask {
 public:
  OpenUmask() : previous_(::umask(0)) {}
  ~OpenUmask() { ::umask(previous_); }

 private:
  mode_t previous_;
};

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PosixFilesTest : public ::testing::Test {
 protected:
  const test_support::TempFolder folder_{"files"};
};

TEST_F(PosixFilesTest, AFifoIsRefusedAtOnceByEveryOpen) {
  // Nobody holds the other end: any open that waited for it would never return.
  const std::string fifo = folder_.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(InputFile::Open(fifo).error().text, "not a regular file");
  EXPECT_EQ(ReadSmallFile(fifo, 100, FinalLink::kFollow).error().text, "not a regular file");
  EXPECT_EQ(AppendFile::Open(fifo).error().text, "not a regular file");
}

TEST_F(PosixFilesTest, AFinalSymbolicLinkIsFollowedOnlyWhereAllowed) {
  const std::string target = folder_.File("target");
  const std::string link = folder_.File("link");
  std::ofstream(target) << "theirs";
  fs::create_symlink(target, link);

  EXPECT_EQ(ReadSmallFile(link, 100, FinalLink::kFollow).value(), "theirs");
  EXPECT_EQ(ReadSmallFile(link, 100, FinalLink::kRefuse).error().text, kLinkRefused);
  EXPECT_EQ(AppendFile::Open(link).error().text, kLinkRefused);
  // Replacing renames over the link itself: what it pointed to is untouched.
  ASSERT_TRUE(ReplaceWholeFile(link, "ours").ok());
  EXPECT_EQ(ReadText(target), "theirs");
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(link), "ours");
}

TEST_F(PosixFilesTest, WhatIsCreatedIsTheUsersAloneWhateverTheUmask) {
  const OpenUmask careless;
  ASSERT_TRUE(AppendFile::Open(folder_.File("trace")).ok());
  EXPECT_EQ(ModeOf(folder_.File("trace")), 0600u);
  ASSERT_TRUE(ReplaceWholeFile(folder_.File("cache"), "{}").ok());
  EXPECT_EQ(ModeOf(folder_.File("cache")), 0600u);
  ASSERT_TRUE(CreatePrivateFolders(folder_.File("a/b")).ok());
  EXPECT_EQ(ModeOf(folder_.File("a")), 0700u);
  EXPECT_EQ(ModeOf(folder_.File("a/b")), 0700u);
}

TEST_F(PosixFilesTest, AFolderThatIsALinkIsNeitherCreatedNorWrittenInto) {
  fs::create_directory(folder_.path() / "elsewhere");
  fs::create_directory_symlink(folder_.path() / "elsewhere", folder_.path() / "cache");
  EXPECT_FALSE(CreatePrivateFolders(folder_.File("cache")).ok());
  EXPECT_FALSE(ReplaceWholeFile(folder_.File("cache/file"), "x").ok());
  EXPECT_TRUE(fs::is_empty(folder_.path() / "elsewhere"));
}

}  // namespace
}  // namespace tarnix::platform
