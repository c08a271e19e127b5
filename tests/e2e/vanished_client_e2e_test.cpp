// A client that vanishes while a request waits: the device is released at once. A client that is
// still there, pipelining or only done sending, sees no difference.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "passthru/numbers.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

TEST(VanishedClient, LeavingDuringAWaitingReadMessagesClosesTheDeviceAtOnce) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  Bridge& bridge = session.bridge();
  const Clock::time_point asked = Clock::now();
  // A read that would wait a minute: the bridge must not.
  bridge.Send(R"({"id":2,"method":"ReadMessages","params":{"timeout_ms":60000}})"
              "\n");
  platform::SleepMilliseconds(100);
  const Clock::time_point left = Clock::now();
  bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
  const Clock::time_point ended = Clock::now();
  std::printf("[ figures  ] client left %lld ms into the read; bridge ended %lld ms later\n",
              MillisecondsBetween(asked, left), MillisecondsBetween(left, ended));

  // The device was closed and the library unloaded in order, long before the read's own time-out
  // (the bound is generous: the machine may be loaded; the figure above is the measurement).
  EXPECT_LT(MillisecondsBetween(left, ended), 5000);
  EXPECT_EQ(LastFns(session.Log(), 3),
            (std::vector<std::string>{"PassThruDisconnect", "PassThruClose", "unload"}));
  // The same lines as when a client leaves between requests.
  EXPECT_EQ(SplitLines(bridge.ErrorOutput()), LinesOfASessionTheClientEnded(bridge.pipe_name()));
}

TEST(VanishedClient, AClientThatPipelinesOrOnlyStopsSendingGetsEveryAnswer) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  Bridge& bridge = session.bridge();
  // The second request waits in the pipe while the first is with the worker.
  bridge.Send(R"({"id":2,"method":"ReadMessages","params":{"timeout_ms":300}})"
              "\n"
              R"({"id":3,"method":"GetDataRate"})"
              "\n");
  const bool half_closed = bridge.FinishSending();
  EXPECT_EQ(bridge.ReadLine(), R"({"id":2,"status":"ok","data":[]})");
  EXPECT_EQ(bridge.ReadLine(), R"({"id":3,"status":"ok","data":500000})");
  if (!half_closed) bridge.Disconnect();
  EXPECT_EQ(bridge.WaitExit(), 0);
  EXPECT_EQ(LastFns(session.Log(), 3),
            (std::vector<std::string>{"PassThruDisconnect", "PassThruClose", "unload"}));
}

}  // namespace
}  // namespace tarnix::e2e
