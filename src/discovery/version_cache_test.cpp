// The API version cache: file layout, acceptance rule, and how examination reads and fills it.
#include "discovery/version_cache.h"

#include <gtest/gtest.h>

#include <chrono>

#include "discovery/library_examination.h"
#include "discovery/test_files.h"
#include "platform/files.h"
#include "tests/support/temp_folder.h"

namespace tarnix::discovery {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  auto content =
      platform::ReadSmallFile(testing::Utf8(path), 1 << 20, platform::FinalLink::kRefuse);
  return content ? *content : "<unreadable>";
}

TEST(FormatVersionCache, WritesTheFixedLayout) {
  EXPECT_EQ(FormatVersionCache({}), "{}");
  EXPECT_EQ(FormatVersionCache({{"C:\\Tools\\pt.dll|1700000000", "05.00"}}),
            "{\n  \"C:\\\\Tools\\\\pt.dll|1700000000\": \"05.00\"\n}");
  EXPECT_EQ(FormatVersionCache({{"a", "04.04"}, {"b", "05.00"}}),
            "{\n  \"a\": \"04.04\",\n  \"b\": \"05.00\"\n}");
  // Quotation marks and control characters escaped; other characters written as UTF-8.
  EXPECT_EQ(FormatVersionCache({{"q\"\t\x01/\u00e9", "x"}}),
            "{\n  \"q\\\"\\t\\u0001/\u00e9\": \"x\"\n}");
}

TEST(ParseVersionCache, AcceptsOnlyAnObjectOfStrings) {
  struct Case {
    const char* text;
    std::optional<VersionCacheEntries> expected;
  };
  const Case cases[] = {
      {"{}", VersionCacheEntries{}},
      {" {\"p|1\" : \"04.04\", \"q\":\"odd\"} \n",
       VersionCacheEntries{{"p|1", "04.04"}, {"q", "odd"}}},
      {"{\"C:\\\\a\\u00e9\": \"05.00\"}", VersionCacheEntries{{"C:\\a\u00e9", "05.00"}}},
      {"{\"k\": \"1\", \"k\": \"2\"}", VersionCacheEntries{{"k", "2"}}},
      {"{\"k\": 5}", std::nullopt},
      {"{\"k\": \"v\", \"n\": null}", std::nullopt},
      {"{\"k\": {}}", std::nullopt},
      {"[]", std::nullopt},
      {"\"text\"", std::nullopt},
      {"", std::nullopt},
      {"{\"k\": \"v\"", std::nullopt},
      {"{\"k\": \"v\"} {}", std::nullopt},
      {"{\"k\": \"v\",}", std::nullopt},
      {"{\"\xff\": \"v\"}", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseVersionCache(c.text), c.expected) << c.text;

  const VersionCacheEntries entries{{"x\\y\"z\n|9", "05.00"}, {"\u6e2c", "04.04"}};
  EXPECT_EQ(ParseVersionCache(FormatVersionCache(entries)), entries);
  EXPECT_EQ(ParseVersionCache(std::string(100000, '[')), std::nullopt);
}

TEST(VersionCachePath, LiesInTheUserCacheFolder) {
  const test_support::TempFolder folder("discovery");
  {
    testing::ScopedCacheFolder set(testing::Utf8(folder.path()));
    const std::string separator(1, platform::PathSeparator());
    EXPECT_EQ(VersionCachePath(), testing::Utf8(folder.path()) + separator + "tarnix" + separator +
                                      "api_version_cache.json");
  }
  testing::ScopedCacheFolder unset(std::nullopt);
  EXPECT_EQ(VersionCachePath(), std::nullopt);
}

TEST(VersionCacheKey, IsThePathAndItsLastWriteSeconds) {
  const test_support::TempFolder folder("discovery");
  const std::string library = folder.File("lib.dll");
  testing::WriteBytes(library, {1});
  const auto seconds = platform::LastWriteSeconds(library);
  ASSERT_TRUE(seconds.ok());
  EXPECT_EQ(VersionCacheKey(library), library + "|" + std::to_string(*seconds));
  EXPECT_EQ(VersionCacheKey(folder.File("missing.dll")), folder.File("missing.dll"));
}

// ResolveApiVersion with a probe that counts its calls and answers what the test sets.
class ApiVersionCacheTest : public ::testing::Test {
 protected:
  ApiVersionCacheTest() {
    testing::WriteBytes(library_, testing::PeHeader(testing::kMachineAmd64));
  }

  std::string Resolve() {
    return ResolveApiVersion(library_, [this](const std::string& path) {
      EXPECT_EQ(path, library_);
      ++probes_;
      return answer_;
    });
  }
  std::filesystem::path CacheFile() const {
    return folder_.path() / "appdata" / "tarnix" / "api_version_cache.json";
  }

  test_support::TempFolder folder_{"discovery"};
  // The cache folder does not exist yet: the store creates it.
  testing::ScopedCacheFolder cache_{folder_.File("appdata")};
  std::string library_ = folder_.File("pt.dll");
  std::optional<std::string> answer_ = "05.00";
  int probes_ = 0;
};

TEST_F(ApiVersionCacheTest, AMissProbesAndStoresAHitProbesNothing) {
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 1);
  const std::string key = VersionCacheKey(library_);
  EXPECT_EQ(ReadFile(CacheFile()), FormatVersionCache({{key, "05.00"}}));

  answer_ = "04.04";
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 1);
}

TEST_F(ApiVersionCacheTest, OnlyAnApiVersionIsTakenFromTheCache) {
  // Whoever wrote the file, nothing but a version the bridge itself finds reaches the client.
  std::filesystem::create_directories(CacheFile().parent_path());
  const std::string content = FormatVersionCache(
      {{VersionCacheKey(library_), "<script>"}, {"other|1", "04.04"}, {"odd|2", "99.99"}});
  testing::WriteBytes(CacheFile(), std::vector<uint8_t>(content.begin(), content.end()));
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 1);
  EXPECT_EQ(ReadFile(CacheFile()),
            FormatVersionCache({{VersionCacheKey(library_), "05.00"}, {"other|1", "04.04"}}));
}

TEST_F(ApiVersionCacheTest, ALinkInPlaceOfTheCacheIsNeitherReadNorWrittenThrough) {
#if defined(_WIN32)
  // Making a link takes a privilege there, and trying it under emulated Wine brings the test
  // program down: the Linux build shows the rule, which the files' code shares.
  GTEST_SKIP() << "symbolic links are not made by the Windows build's tests";
#endif
  std::filesystem::create_directories(CacheFile().parent_path());
  const std::filesystem::path target = folder_.path() / "theirs.json";
  const std::string content = FormatVersionCache({{VersionCacheKey(library_), "04.04"}});
  testing::WriteBytes(target, std::vector<uint8_t>(content.begin(), content.end()));
  std::error_code error;
  std::filesystem::create_symlink(target, CacheFile(), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 1);
  EXPECT_EQ(ReadFile(target), content);
  EXPECT_FALSE(std::filesystem::is_symlink(CacheFile()));
}

TEST_F(ApiVersionCacheTest, ATouchedLibraryIsProbedAgainAndAddsAMember) {
  EXPECT_EQ(Resolve(), "05.00");
  const std::string old_key = VersionCacheKey(library_);
  std::filesystem::last_write_time(
      library_, std::filesystem::last_write_time(library_) + std::chrono::hours(1));
  const std::string new_key = VersionCacheKey(library_);
  ASSERT_NE(old_key, new_key);

  answer_ = "04.04";
  EXPECT_EQ(Resolve(), "04.04");
  EXPECT_EQ(probes_, 2);
  EXPECT_EQ(ReadFile(CacheFile()), FormatVersionCache({{old_key, "05.00"}, {new_key, "04.04"}}));
}

TEST_F(ApiVersionCacheTest, ADamagedCacheMissesAndIsReplaced) {
  std::filesystem::create_directories(CacheFile().parent_path());
  for (const std::string damaged : {"{\"a\": 1}", "not json", "[\"05.00\"]", ""}) {
    testing::WriteBytes(CacheFile(), std::vector<uint8_t>(damaged.begin(), damaged.end()));
    const int before = probes_;
    EXPECT_EQ(Resolve(), "05.00") << damaged;
    EXPECT_EQ(probes_, before + 1) << damaged;
    EXPECT_EQ(ReadFile(CacheFile()), FormatVersionCache({{VersionCacheKey(library_), "05.00"}}));
  }
}

TEST_F(ApiVersionCacheTest, AnUnreadableExportTableIsNotStored) {
  answer_ = std::nullopt;
  EXPECT_EQ(Resolve(), "04.04");
  EXPECT_FALSE(std::filesystem::exists(CacheFile()));
  // Once the file can be read, the next examination finds no entry and records the true version.
  answer_ = "05.00";
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 2);
  EXPECT_EQ(ReadFile(CacheFile()), FormatVersionCache({{VersionCacheKey(library_), "05.00"}}));
}

TEST_F(ApiVersionCacheTest, WithoutACacheFolderEveryExaminationProbes) {
  testing::ScopedCacheFolder unset(std::nullopt);
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 2);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "appdata"));
  EXPECT_FALSE(std::filesystem::exists("tarnix"));
}

TEST_F(ApiVersionCacheTest, AnUnwritableCacheIsIgnored) {
  // A file where the folder belongs: nothing can be created below it.
  testing::WriteBytes(folder_.path() / "appdata", {'x'});
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(Resolve(), "05.00");
  EXPECT_EQ(probes_, 2);
}

}  // namespace
}  // namespace tarnix::discovery
