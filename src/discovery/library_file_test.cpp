// Library files read from disk: the simulator libraries beside this test program, read in this
// system's format without being loaded.
#include "discovery/library_file.h"

#include <gtest/gtest.h>

#include "discovery/library_examination.h"
#include "discovery/test_files.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace tarnix::discovery {
namespace {

using testing::SimLibrary;
TEST(ReadLibraryFile, TellsTheSimulatorVersionsWithoutLoadingThem) {
  const test_support::TempFolder folder("discovery");
  // A load of either library would write its "load" line here.
  testing::ScopedEnvironment log("PTSIM_LOG", folder.File("ptsim.log"));
  const std::string sim0404 = SimLibrary("ptsim0404");
  const std::string sim0500 = SimLibrary("ptsim0500");
  ASSERT_TRUE(std::filesystem::exists(sim0404) && std::filesystem::exists(sim0500))
      << "build the simulator libraries first";

  EXPECT_EQ(ReadLibraryApiVersion(sim0404, kSystemFormat), "04.04");
  EXPECT_EQ(ReadLibraryApiVersion(sim0500, kSystemFormat), "05.00");
  EXPECT_EQ(ReadLibraryBitness(sim0500, kSystemFormat), kOwnBitness);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "ptsim.log"));

  const ImageFormat other =
      kSystemFormat == ImageFormat::kPe ? ImageFormat::kElf : ImageFormat::kPe;
  EXPECT_EQ(ReadLibraryApiVersion(sim0500, other), std::nullopt);
  EXPECT_EQ(ReadLibraryBitness(sim0500, other), std::nullopt);
  EXPECT_EQ(ReadLibraryApiVersion(folder.File("missing"), kSystemFormat), std::nullopt);
}

}  // namespace
}  // namespace tarnix::discovery
