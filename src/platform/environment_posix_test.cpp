// The Linux cache folder convention: an absolute XDG_CACHE_HOME, else ~/.cache.
#include <gtest/gtest.h>

#include "platform/environment.h"

namespace tarnix::platform {
namespace {

// Sets two variables for one test and restores them afterwards.
class CacheVariables {
 public:
  CacheVariables(std::optional<std::string> xdg, std::optional<std::string> home)
      : xdg_(GetEnvironment("XDG_CACHE_HOME")), home_(GetEnvironment("HOME")) {
    SetEnvironment("XDG_CACHE_HOME", xdg);
    SetEnvironment("HOME", home);
  }
  ~CacheVariables() {
    SetEnvironment("XDG_CACHE_HOME", xdg_);
    SetEnvironment("HOME", home_);
  }

 private:
  std::optional<std::string> xdg_;
  std::optional<std::string> home_;
};

TEST(UserCacheFolder, IsAnAbsoluteXdgCacheHomeElseTheCacheBelowHome) {
  struct Case {
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"/var/cache/me", "/home/me", "/var/cache/me"},
      {"relative/cache", "/home/me", "/home/me/.cache"},
      {"", "/home/me", "/home/me/.cache"},
      {std::nullopt, "/home/me", "/home/me/.cache"},
      {std::nullopt, "", std::nullopt},
      {std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const CacheVariables set(c.xdg, c.home);
    EXPECT_EQ(UserCacheFolder(), c.expected) << c.xdg.value_or("(unset)");
  }
}

}  // namespace
}  // namespace tarnix::platform
