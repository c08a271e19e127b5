// How a session ends when the client does not wait for an answer: its next request ends a waiting
// read, a stop request closes the adapter before the bridge exits, and a library call that never
// returns cannot keep the bridge (and with it the adapter) beyond the release's grace period.
#include <gtest/gtest.h>

#include <string>

#include "passthru/numbers.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

TEST(Ending, TheNextRequestEndsAWaitingReadAndIsServed) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  Bridge& bridge = session.bridge();
  // A read that would wait some 49 days: only the next request can end it.
  bridge.Send(R"({"id":2,"method":"ReadMessages","params":{"timeout_ms":4294967295}})"
              "\n");
  platform::SleepMilliseconds(50);
  bridge.Send(R"({"id":3,"method":"SendMessage","params":{"arb_id":2016,"data":[2,1,0],)"
              R"("extended":false}})"
              "\n");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":2,"status":"ok","data":[]})");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":3,"status":"ok","data":null})");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(Ending, AStopRequestClosesTheAdapterFirst) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  Bridge& bridge = session.bridge();
  bridge.Send(R"({"id":2,"method":"ReadMessages","params":{"timeout_ms":60000}})"
              "\n");
  if (!bridge.RequestStop()) GTEST_SKIP() << "no stop request can be sent to one process here";
  EXPECT_EQ(bridge.WaitExit(), 2);
  EXPECT_EQ(LastFns(session.Log(), 3),
            (std::vector<std::string>{"PassThruDisconnect", "PassThruClose", "unload"}));
  EXPECT_NE(bridge.ErrorOutput().find("[bridge] Stop requested by SIGTERM\n"), std::string::npos)
      << bridge.ErrorOutput();
}

TEST(Ending, ACallThatNeverReturnsEndsTheBridgeAfterTheGracePeriod) {
  PtsimSession session({{"PTSIM_HANG", "Connect"}, {"TARNIX_RELEASE_GRACE_MS", "300"}});
  Bridge& bridge = session.bridge();
  bridge.Send(R"({"id":1,"method":"Open","params":{"dll_path":)" + JsonQuoted(PtsimPath()) +
              R"(,"protocol_id":6,"baud_rate":500000,"connect_flags":0}})"
              "\n");
  // The client gives up on the Open, as a client with a time-out of its own does.
  ASSERT_TRUE(bridge.WaitForErrorOutput("[bridge] Client connected"));
  platform::SleepMilliseconds(100);
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 3);
  const std::vector<std::string> lines = SplitLines(bridge.ErrorOutput());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(),
            "[bridge] Worker did not end within 300 ms of its release; call not returned: "
            "PassThruConnect; ending the process");
}

TEST(Ending, ALibraryWhoseStartUpThrowsEndsTheBridgeAtOnce) {
  PtsimSession session({{"PTSIM_MISBEHAVE", "throw_on_load"}});
  Bridge& bridge = session.bridge();
  bridge.Send(R"({"id":1,"method":"Open","params":{"dll_path":)" + JsonQuoted(PtsimPath()) +
              R"(,"protocol_id":6,"baud_rate":500000}})"
              "\n");
#if defined(_WIN32) && !defined(_WIN64)
  // The 32-bit loader's frames cannot be unwound: the library's own runtime aborts the process.
  EXPECT_EQ(bridge.ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(bridge.WaitExit(), 4);
  const char* last = "[bridge] Fatal fault: abort during library load";
#elif defined(_WIN32)
  // The loader hands the exception back: the Open is answered, and then the bridge ends at once,
  // since the loader's lock may stay held, which an orderly end needs.
  EXPECT_EQ(Reply(bridge.ReadLine(), 1).Error(),
            "ERR_J2534_DLL_LOAD: the library's start-up code raised an exception through the "
            "system's loader");
  EXPECT_EQ(bridge.WaitExit(), 3);
  const char* last = "which cannot be trusted any more; ending the process";
#else
  // Here the exception cannot leave the loader: it ends the process, explained as a fault.
  EXPECT_EQ(bridge.ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(bridge.WaitExit(), 4);
  const char* last = "[bridge] Fatal fault: an exception that nothing caught during library load";
#endif
  EXPECT_NE(bridge.ErrorOutput().find(last), std::string::npos) << bridge.ErrorOutput();
}

}  // namespace
}  // namespace tarnix::e2e
