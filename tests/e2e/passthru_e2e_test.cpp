// Transparency of the forwarding library: a J2534 application in miniature runs one session
// against ptsim directly and once through tarnix_passthru (which starts a bridge that loads ptsim);
// what the application gets and what reaches ptsim must match, apart from times and handles.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "bridge_harness.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

/// What one run of the driver printed and what ptsim logged.
struct Session {
  std::string output;
  std::string log;
};

/// Runs the driver on `library` (with `extra` arguments) with ptsim strict, as a conforming
/// library is, and logging; returns once ptsim has been unloaded.
Session RunDriver(const std::string& library, const platform::EnvironmentChanges& env,
                  uint32_t timeout_ms, const std::vector<std::string>& extra = {}) {
  test_support::TempFolder folder("passthru");
  const std::string log = folder.File("calls.log");
  platform::EnvironmentChanges strict{{"PTSIM_STRICT", "1"}};
  strict.insert(strict.end(), env.begin(), env.end());
  const platform::EnvironmentChanges changes = SessionEnvironment(log, strict);
  const std::string output = folder.File("session.txt");
  std::vector<std::string> args{library, output};
  args.insert(args.end(), extra.begin(), extra.end());
  Result<platform::ChildProcess> driver =
      platform::ChildProcess::Spawn(BinaryPath(platform::ExecutableFileName("j2534_driver")), args,
                                    changes, folder.File("stderr.txt"));
  EXPECT_TRUE(driver.ok()) << driver.error().text;
  if (!driver) return {};
  const std::optional<int> code = driver->Wait(timeout_ms);
  EXPECT_EQ(code, std::optional<int>(0)) << "standard error:\n"
                                         << ReadFileText(folder.File("stderr.txt"));
  // A bridge may end after its application: ptsim's last line comes when it is unloaded.
  for (int i = 0; i < 200 && ReadFileText(log).find(R"({"fn":"unload"})") == std::string::npos;
       ++i) {
    platform::SleepMilliseconds(100);
  }
  return {ReadFileText(output), ReadFileText(log)};
}

/// `text` with times and handles (the numbers a library chooses) replaced by placeholders, and
/// the FIVE_BAUD_INIT room.
std::string WithoutTimesAndHandles(const std::string& text) {
  static const std::regex times(R"re("(timestamp|t|us)":\d+)re");
  static const std::regex handles(R"re("(deviceId|channelId|handle|filterId|msgId)":\d+)re");
  static const std::regex printed(R"re(<handle \d+>)re");
  // The one documented difference: FIVE_BAUD_INIT's room for keyword bytes is the bridge's own,
  // since its request carries none (the application gets as many as its room holds).
  static const std::regex room(R"re(("ioctl":"FIVE_BAUD_INIT".*"outputCapacity":)\d+)re");
  std::string out = std::regex_replace(text, times, "\"$1\":T");
  out = std::regex_replace(out, handles, "\"$1\":H");
  out = std::regex_replace(out, room, "$1R");
  return std::regex_replace(out, printed, "<handle>");
}

/// Expects the two runs to match line by line, naming the first line that differs.
void ExpectSame(const std::string& what, const std::string& direct, const std::string& shimmed) {
  const std::vector<std::string> a = SplitLines(WithoutTimesAndHandles(direct));
  const std::vector<std::string> b = SplitLines(WithoutTimesAndHandles(shimmed));
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    ASSERT_EQ(a[i], b[i]) << what << " line " << i + 1 << " differs (direct, then shimmed)";
  }
  EXPECT_EQ(a.size(), b.size()) << what << " differs in length; direct:\n"
                                << direct << "\nshimmed:\n"
                                << shimmed;
}

std::string Shim() {
  return BinaryPath(platform::SharedLibraryFileName("tarnix_passthru"));
}

TEST(PassThruShim, AnApplicationSeesWhatItWouldSeeOfTheLibraryItself) {
  const std::string ptsim = PtsimPath("ptsim0404");
  const Session direct = RunDriver(ptsim, {}, 60000);
  ASSERT_NE(direct.output.find("Close -> 0"), std::string::npos) << direct.output;
  const Session shimmed = RunDriver(Shim(), {{"TARNIX_PASSTHRU_TARGET", ptsim}}, 60000);
  ExpectSame("the application's results", direct.output, shimmed.output);
  ExpectSame("ptsim's call log", direct.log, shimmed.log);
}

TEST(PassThruShim, AnApplicationThatUnloadsItWithoutClosingLeavesNoAdapterOpen) {
  const Session shimmed = RunDriver(Shim(), {{"TARNIX_PASSTHRU_TARGET", PtsimPath("ptsim0404")}},
                                    60000, {"--unload-open"});
  const std::vector<std::string> lines = SplitLines(WithoutTimesAndHandles(shimmed.log));
  ASSERT_GE(lines.size(), 3u) << shimmed.log;
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{
                R"({"fn":"PassThruDisconnect","channelId":H,"ret":0})",
                R"({"fn":"PassThruClose","deviceId":H,"ret":0})",
                R"({"fn":"unload"})",
            }))
      << shimmed.log;
}

#ifdef _WIN64
// A 64-bit application reaches a 32-bit library: the shim starts the other build's 32-bit bridge.
// Where 32-bit programs are emulated, that bridge takes about a minute to start.
TEST(PassThruShim, ThroughTheBridgeOfTheOtherWidth) {
  const std::filesystem::path other =
      std::filesystem::path(platform::ExecutableDirectory()) / ".." / ".." / "win32" / "bin";
  const std::string bridge = (other / "tarnix.exe").lexically_normal().string();
  const std::string ptsim32 = (other / "ptsim0404.dll").lexically_normal().string();
  if (!std::filesystem::exists(bridge) || !std::filesystem::exists(ptsim32))
    GTEST_SKIP() << "the 32-bit build's bridge and ptsim are absent: " << bridge;
  const Session direct = RunDriver(PtsimPath("ptsim0404"), {}, 60000);
  const Session shimmed = RunDriver(Shim(),
                                    {{"TARNIX_PASSTHRU_TARGET", ptsim32},
                                     {"TARNIX_PASSTHRU_BRIDGE", bridge},
                                     {"TARNIX_PASSTHRU_START_MS", "480000"}},
                                    540000);
  ExpectSame("the application's results", direct.output, shimmed.output);
  ExpectSame("ptsim's call log", direct.log, shimmed.log);
}
#endif

}  // namespace
}  // namespace tarnix::e2e
