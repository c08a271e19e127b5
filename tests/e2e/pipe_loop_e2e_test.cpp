// The bridge process end to end: command line, start-up lines, framing, loop end and exit codes.
#include <gtest/gtest.h>

#include <fstream>

#include "bridge_harness.h"

namespace tarnix::e2e {
namespace {

const char kClose[] = R"({"id":4,"method":"Close"})";

TEST(PipeLoop, WithoutPipeNamePrintsUsageAndExitsWithOne) {
  Bridge bridge({}, std::vector<std::string>{});
  EXPECT_EQ(bridge.WaitExit(), 1);
  EXPECT_EQ(bridge.ErrorOutput(),
            "Usage: tarnix.exe <pipe_name>\nExample: tarnix.exe \\\\.\\pipe\\velsa-j2534-1234\n");
}

TEST(PipeLoop, PrintsStartupLinesServesAndEndsWhenTheClientCloses) {
  Bridge bridge;
  EXPECT_EQ(bridge.Call(kClose), R"({"id":4,"status":"ok","data":null})");
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
  EXPECT_EQ(SplitLines(bridge.ErrorOutput()), LinesOfASessionTheClientEnded(bridge.pipe_name()));
}

TEST(PipeLoop, ExtraArgumentsAreIgnored) {
  const test_support::TempFolder folder("e2e-extra");
  const std::string name = PipeNameIn(folder);
  Bridge bridge({}, std::vector<std::string>{name, "more", "args"});
  EXPECT_TRUE(bridge.WaitForErrorOutput("[bridge] Waiting for client connection..."));
  EXPECT_NE(bridge.ErrorOutput().find("on pipe: " + name + "\n"), std::string::npos);
  bridge.Connect();
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
}

TEST(PipeLoop, FramesLinesAsTheClientSendsThem) {
  // No registrations of the tester's own (on Linux they live below HOME): EnumerateDevices is [].
  Bridge bridge({{"HOME", std::nullopt}});
  // CRLF endings, blank lines (empty and lone CR), and a line of blanks, which is not blank.
  bridge.Send("{\"id\":1,\"method\":\"Close\"}\r\n\n\r\n   \n");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":1,"status":"ok","data":null})");
  EXPECT_EQ(
      bridge.ReadLine(),
      R"({"id":0,"status":"error","code":-1,"message":"Parse error: EOF while parsing a value at line 1 column 3"})");
  // Two requests in one write are answered in order.
  bridge.Send("{\"id\":2,\"method\":\"ReadVersion\"}\n{\"id\":3,\"method\":\"Close\"}\n");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":2,"status":"error","code":-1,"message":"Not connected"})");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":3,"status":"ok","data":null})");
  // A request split over several writes is answered once its line feed arrives.
  bridge.Send("{\"id\":5,\"met");
  platform::SleepMilliseconds(50);
  bridge.Send("hod\":\"EnumerateDevices\"");
  platform::SleepMilliseconds(50);
  bridge.Send("}\n");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":5,"status":"ok","data":[]})");
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
  EXPECT_NE(bridge.ErrorOutput().find("[bridge] Parse error: EOF while parsing a value at line 1 "
                                      "column 3\n"),
            std::string::npos);
}

TEST(PipeLoop, AnswersALastLineWithoutLineFeed) {
  Bridge bridge;
  bridge.Send(R"({"id":9,"method":"Close"})");
  if (!bridge.FinishSending()) {
    bridge.Disconnect();
    bridge.WaitExit();
    GTEST_SKIP() << "this system's pipes cannot end one direction only";
  }
  EXPECT_EQ(bridge.ReadLine(), R"({"id":9,"status":"ok","data":null})");
  EXPECT_EQ(bridge.ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(bridge.WaitExit(), 0);
}

TEST(PipeLoop, InvalidUtf8EndsTheLoopWithoutAnswer) {
  Bridge bridge;
  bridge.Send("{\"id\":1,\"method\":\"Cl\xff\xfe\"}\n");
  EXPECT_EQ(bridge.ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(bridge.WaitExit(), 0);
  EXPECT_NE(
      bridge.ErrorOutput().find(
          "[bridge] Read error: stream did not contain valid UTF-8\n[bridge] Message loop ended\n"),
      std::string::npos);
}

TEST(PipeLoop, ShutdownIsAnsweredAndEndsTheProcess) {
  Bridge bridge;
  EXPECT_EQ(bridge.Call(R"({"id":18446744073709551615,"method":"Shutdown"})"),
            R"({"id":18446744073709551615,"status":"ok","data":null})");
  EXPECT_EQ(bridge.ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(bridge.WaitExit(), 0);
  EXPECT_NE(bridge.ErrorOutput().find("[bridge] Shutdown requested\n[bridge] Message loop ended\n"),
            std::string::npos);
}

TEST(PipeLoop, VerboseLoggingFollowsTarnixVerbose) {
  for (const auto& [value, logged] : std::vector<std::pair<std::string, bool>>{
           {"1", true}, {"tRuE", true}, {"yes", false}, {"2", false}, {"", false}}) {
    Bridge bridge({{"TARNIX_VERBOSE", value}});
    EXPECT_EQ(bridge.Call(R"({"id":4,"method":"StopPeriodicMessage","params":{"msg_id":7}})"),
              R"({"id":4,"status":"error","code":-1,"message":"Not connected"})");
    bridge.Disconnect();
    EXPECT_EQ(bridge.WaitExit(), 0);
    const bool found =
        bridge.ErrorOutput().find("[bridge] Request 4: StopPeriodicMessage") != std::string::npos;
    EXPECT_EQ(found, logged) << "TARNIX_VERBOSE=" << value;
  }
}

TEST(PipeLoop, APipeThatCannotBeCreatedIsFatal) {
#ifdef _WIN32
  const std::string name = "not-a-pipe-name";
#else
  // An existing path is refused, as a busy pipe is on Windows.
  const test_support::TempFolder folder("e2e-taken");
  const std::string name = PipeNameIn(folder);
  std::ofstream(name) << "occupied";
#endif
  Bridge bridge({}, std::vector<std::string>{name});
  EXPECT_EQ(bridge.WaitExit(), 1);
  const std::vector<std::string> lines = SplitLines(bridge.ErrorOutput());
  ASSERT_EQ(lines.size(), 3u) << bridge.ErrorOutput();
  EXPECT_EQ(lines[2].rfind("[bridge] Fatal error: ", 0), 0u) << lines[2];
#ifdef _WIN32
  EXPECT_NE(lines[2].find("(0x8007"), std::string::npos) << lines[2];
#else
  EXPECT_NE(lines[2].find(" (os error 98)"), std::string::npos) << lines[2];
#endif
}

TEST(PipeLoop, ASecondBridgeOnABusyPipeNameFails) {
  Bridge first;
  ASSERT_TRUE(first.WaitForErrorOutput("Waiting for client connection"));
  Bridge second({}, std::vector<std::string>{first.pipe_name()});
  EXPECT_EQ(second.WaitExit(), 1);
  EXPECT_NE(second.ErrorOutput().find("[bridge] Fatal error: "), std::string::npos);
#ifdef _WIN32
  // Busy where the system ignores the first-instance flag (Wine), access denied where it does not.
  const std::string text = second.ErrorOutput();
  EXPECT_TRUE(text.ends_with("(0x800700E7)\n") || text.ends_with("(0x80070005)\n")) << text;
#endif
  first.Connect();
  first.Disconnect();
  EXPECT_EQ(first.WaitExit(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
