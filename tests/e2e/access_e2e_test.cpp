// Whoever else is on the machine: a pipe name taken first (Windows), and FIFOs planted where the
// bridge reads and writes its files (Linux), which must neither hang it nor change what it serves.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bridge_harness.h"
#include "passthru/numbers.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

#ifdef _WIN32

TEST(Access, ANameCreatedFirstBySomeoneElseFailsAsABusyPipe) {
  const test_support::TempFolder folder("e2e-access");
  const std::string name = PipeNameIn(folder);
  // The squatter as measured: the name made first, with room for as many instances as asked for.
  const HANDLE squatter =
      ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
  ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
  Bridge bridge({}, std::vector<std::string>{name});
  EXPECT_EQ(bridge.WaitExit(), 1);
  ::CloseHandle(squatter);
  const std::vector<std::string> lines = SplitLines(bridge.ErrorOutput());
  ASSERT_EQ(lines.size(), 3u) << bridge.ErrorOutput();
  EXPECT_EQ(lines[2].rfind("[bridge] Fatal error: ", 0), 0u) << lines[2];
  // Where the first-instance flag counts the system refuses access; where it is ignored, the
  // instance count read back tells.
  const bool busy = lines[2].ends_with("(0x800700E7)") || lines[2].ends_with("(0x80070005)");
  EXPECT_TRUE(busy) << lines[2];
}

#else

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
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Finish(), 0);
  EXPECT_NE(session.bridge().ErrorOutput().find("[bridge] Trace disabled: not a regular file\n"),
            std::string::npos)
      << session.bridge().ErrorOutput();
}

#endif

}  // namespace
}  // namespace tarnix::e2e
