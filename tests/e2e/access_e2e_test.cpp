// Whoever else is on the machine: FIFOs planted where the bridge reads and writes its files (Linux),
// which must neither hang it nor change what it serves.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bridge_harness.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

#ifndef _WIN32

void MakeFifo(const std::filesystem::path& path) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

TEST(Access, FifosPlantedAsTraceCacheRegistrationAndLibraryAreSkippedWithoutWaiting) {
  const test_support::TempFolder home("e2e-access");
  const std::filesystem::path registrations = home.path() / ".passthru";
  std::filesystem::create_directories(registrations);
  std::filesystem::create_directories(home.path() / ".cache" / "tarnix");
  MakeFifo(home.path() / ".cache" / "tarnix" / "api_version_cache.json");
  MakeFifo(home.path() / "trace");
  MakeFifo(home.path() / "library.so");
  MakeFifo(registrations / "a.json");
  std::ofstream(registrations / "b.json")
      << R"({"NAME": "fifo", "FUNCTION_LIB": )" << JsonQuoted(home.File("library.so")) << "}";
  std::ofstream(registrations / "c.json")
      << R"({"NAME": "ptsim", "FUNCTION_LIB": )" << JsonQuoted(PtsimPath()) << "}";

  PtsimSession session({{"HOME", home.path().string()},
                        {"XDG_CACHE_HOME", std::nullopt},
                        {"TARNIX_TRACE", home.File("trace")}});
  const Reply listed = session.Call("EnumerateDevices");
  ASSERT_TRUE(listed.ok() && listed.data().Size() == 2) << listed.line();
  EXPECT_TRUE(Matches(listed.data(), R"([{"name":"fifo","available":false},
                                         {"name":"ptsim","available":true,"apiVersion":"04.04"}])"));
  session.Open(kIso15765);
  EXPECT_EQ(session.Finish(), 0);
  EXPECT_NE(session.bridge().ErrorOutput().find("[bridge] Trace disabled: not a regular file\n"),
            std::string::npos)
      << session.bridge().ErrorOutput();
}

#endif

}  // namespace
}  // namespace tarnix::e2e
