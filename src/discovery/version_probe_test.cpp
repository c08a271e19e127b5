// The real version probe on the simulator libraries, and a cache hit that loads nothing.
#include <gtest/gtest.h>

#include "discovery/library_examination.h"
#include "discovery/test_files.h"
#include "discovery/version_probe.h"
#include "platform/dynamic_library.h"
#include "platform/files.h"
#include "platform/process.h"

namespace tarnix::discovery {
namespace {

// A simulator library built next to this test program.
std::string SimLibrary(const char* base) {
  return platform::ExecutableDirectory() + platform::SharedLibraryFileName(base);
}

bool LogShowsALoad(const std::filesystem::path& log) {
  auto content = platform::ReadWholeFile(testing::Utf8(log));
  return content && content->find("\"load\"") != std::string::npos;
}

class VersionProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* base : {"ptsim0404", "ptsim0500"}) {
      ASSERT_TRUE(std::filesystem::exists(SimLibrary(base)))
          << SimLibrary(base) << " is missing: build the simulator libraries first";
    }
  }
  testing::TempFolder folder_;
  testing::ScopedEnvironment log_{"PTSIM_LOG", folder_.File("ptsim.log")};
};

TEST_F(VersionProbeTest, TellsTheVersionByTheScanEntryPoint) {
  EXPECT_EQ(ProbeLibraryVersion(SimLibrary("ptsim0404")), "04.04");
  EXPECT_EQ(ProbeLibraryVersion(SimLibrary("ptsim0500")), "05.00");
  EXPECT_TRUE(LogShowsALoad(folder_.path() / "ptsim.log"));

  // Files that cannot be loaded: no answer, so nothing gets cached for them.
  const std::string header_only = folder_.File("header-only.dll");
  testing::WriteBytes(header_only, testing::PeHeader(testing::kMachineI386));
  EXPECT_EQ(ProbeLibraryVersion(header_only), std::nullopt);
  EXPECT_EQ(ProbeLibraryVersion(folder_.File("missing.dll")), std::nullopt);
}

TEST_F(VersionProbeTest, ACacheHitLoadsNoLibrary) {
  testing::ScopedEnvironment cache("LOCALAPPDATA", folder_.File("appdata"));
  const std::filesystem::path log = folder_.path() / "ptsim.log";
  const std::string library = SimLibrary("ptsim0500");

  EXPECT_EQ(ResolveApiVersion(library, ProbeLibraryVersion), "05.00");
  EXPECT_TRUE(LogShowsALoad(log));

  std::filesystem::remove(log);
  EXPECT_EQ(ResolveApiVersion(library, ProbeLibraryVersion), "05.00");
  EXPECT_FALSE(LogShowsALoad(log));
}

}  // namespace
}  // namespace tarnix::discovery
