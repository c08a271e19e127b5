// The worker thread with fake sessions: start-up outcomes, the exchange and its failure texts,
// the loop's pump cadence, and the release order.
#include "worker/worker.h"

#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <thread>

#include "wire/types.h"
#include "worker/fake_session.h"

namespace tarnix::worker {
namespace {

using testing::Behaviour;
using testing::FakeFactory;
using testing::Probe;
using testing::Tag;

const protocol::Request kReadVersion = protocol::ReadVersion{};
const protocol::Request kGetDataRate = protocol::GetDataRate{};

WorkerHandle Started(SessionFactory factory) {
  Result<WorkerHandle> worker = StartWorker(std::move(factory));
  EXPECT_TRUE(worker.ok()) << (worker.ok() ? "" : worker.error().text);
  return std::move(worker).value();
}

TEST(WorkerStart, BuildsTheSessionOnANamedThreadOfItsOwn) {
  auto probe = std::make_shared<Probe>();
  WorkerHandle worker = Started(FakeFactory(probe));
  EXPECT_EQ(probe->thread_name, "tarnix-io");
  EXPECT_NE(probe->thread_id, std::this_thread::get_id());
  Release(std::move(worker));
}

TEST(WorkerStart, FailuresEndTheThreadAndReturnTheirText) {
  struct Case {
    const char* name;
    SessionFactory factory;
    std::string text;
  };
  const Case cases[] = {
      {"sequence fails",
       testing::FailingFactory("ERR_J2534_OPEN: error code 8 (ERR_DEVICE_NOT_CONNECTED)"),
       "ERR_J2534_OPEN: error code 8 (ERR_DEVICE_NOT_CONNECTED)"},
      {"fault while starting", testing::ThrowingFactory(), kTerminatedBeforeStartup},
  };
  for (const Case& c : cases) {
    Result<WorkerHandle> worker = StartWorker(c.factory);
    ASSERT_FALSE(worker.ok()) << c.name;
    EXPECT_EQ(worker.error().text, c.text) << c.name;
  }
}

TEST(WorkerStart, AThreadThatCannotBeCreatedIsReportedWithTheSystemText) {
  auto probe = std::make_shared<Probe>();
  WorkerOptions options;
  options.stack_bytes = std::numeric_limits<size_t>::max() / 2;  // beyond any address space
  Result<WorkerHandle> worker = StartWorker(FakeFactory(probe), options);
  ASSERT_FALSE(worker.ok());
  const std::string& text = worker.error().text;
  EXPECT_EQ(text.rfind(kFailedToStart, 0), 0u) << text;
  EXPECT_NE(text.find("(os error "), std::string::npos) << text;
  EXPECT_TRUE(probe->Events().empty());
}

TEST(WorkerExchange, RepliesTravelUnchangedAndEachCommandIsFollowedByOnePump) {
  auto probe = std::make_shared<Probe>();
  WorkerHandle worker = Started(FakeFactory(probe));

  Result<protocol::Outcome> version = Exchange(worker, kReadVersion);
  ASSERT_TRUE(version.ok());
  const auto& payload = std::get<protocol::Payload>(*version);
  EXPECT_EQ(std::get<wire::VersionInfo>(payload), (wire::VersionInfo{"fw", "dll", "api"}));

  Result<protocol::Outcome> failure = Exchange(worker, protocol::GetLastError{});
  ASSERT_TRUE(failure.ok()) << "an error the session built is a reply, not a channel failure";
  EXPECT_EQ(std::get<protocol::Failure>(*failure).message, "ERR_FAKE: the session's own failure");

  Result<protocol::Outcome> closed = Exchange(worker, protocol::Close{});
  ASSERT_TRUE(closed.ok());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(std::get<protocol::Payload>(*closed)));
  Release(std::move(worker));

  // No idle pumps (the interval is unreachable); no pump after Close; the session is released last.
  const std::string version_tag = Tag(kReadVersion);
  const std::string error_tag = Tag(protocol::GetLastError{});
  EXPECT_EQ(probe->Events(),
            (std::vector<std::string>{"execute " + version_tag, "answered " + version_tag, "pump",
                                      "execute " + error_tag, "answered " + error_tag, "pump",
                                      "released"}));
}

TEST(WorkerExchange, TheWorkerAnswersControlThreadRequestsAndEndingRequestsItself) {
  struct Case {
    protocol::Request request;
    bool ends;
    const char* refusal;
  };
  const Case cases[] = {
      {protocol::EnumerateDevices{}, false, kControlThreadOnly},
      {protocol::Open{"lib", 6, 500000, 0}, false, kControlThreadOnly},
      {protocol::Close{}, true, nullptr},
      {protocol::Shutdown{}, true, nullptr},
  };
  for (const Case& c : cases) {
    auto probe = std::make_shared<Probe>();
    WorkerHandle worker = Started(FakeFactory(probe));
    Result<protocol::Outcome> reply = Exchange(worker, c.request);
    ASSERT_TRUE(reply.ok());
    if (c.refusal) {
      EXPECT_EQ(std::get<protocol::Failure>(*reply).code, -1);
      EXPECT_EQ(std::get<protocol::Failure>(*reply).message, c.refusal);
    } else {
      EXPECT_TRUE(std::holds_alternative<protocol::Payload>(*reply));
    }
    Release(std::move(worker));
    // The session never sees these requests; a refusal is still followed by the usual pump, while
    // an ending request leaves the loop at once.
    const std::vector<std::string> expected = c.ends ? std::vector<std::string>{"released"}
                                                     : std::vector<std::string>{"pump", "released"};
    EXPECT_EQ(probe->Events(), expected) << "method " << c.request.index();
  }
}

TEST(WorkerExchange, CloseIsAnsweredBeforeTheSessionIsReleasedAndTheJoinWaitsForIt) {
  auto probe = std::make_shared<Probe>();
  std::promise<void> let_go;
  std::shared_future<void> gate = let_go.get_future().share();
  // The session's release blocks on the gate, so a reply sent only after the release would never
  // arrive; the gate's long limit only keeps a broken build from hanging the test run.
  auto factory = [probe, gate]() -> Result<std::unique_ptr<Session>> {
    struct GatedSession final : testing::FakeSession {
      GatedSession(std::shared_ptr<Probe> p, std::shared_future<void> g)
          : FakeSession(p, {}), probe(std::move(p)), gate(std::move(g)) {}
      ~GatedSession() override {
        if (gate.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
          probe->Record("gate never opened");
        }
        probe->Record("release done");
      }
      std::shared_ptr<Probe> probe;
      std::shared_future<void> gate;
    };
    return std::unique_ptr<Session>(std::make_unique<GatedSession>(probe, gate));
  };
  WorkerHandle worker = Started(factory);
  Result<protocol::Outcome> reply = Exchange(worker, protocol::Close{});
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(probe->Count("release done"), 0u);
  let_go.set_value();
  Release(std::move(worker));
  EXPECT_EQ(probe->Events(), (std::vector<std::string>{"release done", "released"}));
}

TEST(WorkerExchange, AFaultDuringARequestEndsTheWorkerWithoutAnAnswer) {
  auto probe = std::make_shared<Probe>();
  Behaviour faulty;
  faulty.throw_on_execute = true;
  WorkerHandle worker = Started(FakeFactory(probe, faulty));

  Result<protocol::Outcome> reply = Exchange(worker, kReadVersion);
  ASSERT_FALSE(reply.ok());
  EXPECT_EQ(reply.error().text, kTerminatedWhileProcessing);
  // The command side closes before the session goes: no later request can wait on the teardown.
  probe->WaitFor("released");
  EXPECT_EQ(probe->Events(),
            (std::vector<std::string>{"execute " + Tag(kReadVersion), "released"}));

  Result<protocol::Outcome> next = Exchange(worker, kReadVersion);
  ASSERT_FALSE(next.ok());
  EXPECT_EQ(next.error().text, kCommandChannelClosed);
  Release(std::move(worker));
}

TEST(WorkerExchange, AWorkerThatDiesWhileIdleIsNoticedByTheNextRequest) {
  auto probe = std::make_shared<Probe>();
  Behaviour dies;
  dies.poll_interval = Milliseconds(1);
  dies.throw_on_pump = 3;
  WorkerHandle worker = Started(FakeFactory(probe, dies));
  probe->WaitFor("released");

  Result<protocol::Outcome> reply = Exchange(worker, kReadVersion);
  ASSERT_FALSE(reply.ok());
  EXPECT_EQ(reply.error().text, kCommandChannelClosed);
  EXPECT_EQ(probe->Events(), (std::vector<std::string>{"pump", "pump", "pump", "released"}));
  Release(std::move(worker));
}

TEST(WorkerLoop, PumpsOnItsOwnWhenIdleAndStopsWhenReleased) {
  auto probe = std::make_shared<Probe>();
  Behaviour idle;
  idle.poll_interval = Milliseconds(1);
  WorkerHandle worker = Started(FakeFactory(probe, idle));
  probe->WaitFor("pump", 5);  // no command was sent
  Release(std::move(worker));
  const std::vector<std::string> events = probe->Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "released");
  EXPECT_EQ(probe->Count("released"), 1u);
}

TEST(WorkerLoop, AFiniteIntervalStillPumpsExactlyOnceAfterEachCommand) {
  auto probe = std::make_shared<Probe>();
  Behaviour hourly;
  hourly.poll_interval = std::chrono::hours(1);
  WorkerHandle worker = Started(FakeFactory(probe, hourly));
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(Exchange(worker, kGetDataRate).ok());
  Release(std::move(worker));
  const std::string tag = Tag(kGetDataRate);
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    expected.insert(expected.end(), {"execute " + tag, "answered " + tag, "pump"});
  }
  expected.push_back("released");
  EXPECT_EQ(probe->Events(), expected);
}

TEST(WorkerLoop, ASlowRequestIsAwaitedWithoutALimitAndNotInterruptedByPumps) {
  auto probe = std::make_shared<Probe>();
  std::promise<void> finish;
  Behaviour slow;
  slow.poll_interval = Milliseconds(1);
  slow.execute_gate = finish.get_future().share();
  WorkerHandle worker = Started(FakeFactory(probe, slow));

  std::thread opener([&] {
    probe->WaitFor("execute " + Tag(kGetDataRate));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // idle intervals pass meanwhile
    finish.set_value();
  });
  Result<protocol::Outcome> reply = Exchange(worker, kGetDataRate);
  opener.join();
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(std::get<uint32_t>(std::get<protocol::Payload>(*reply)), kGetDataRate.index());
  Release(std::move(worker));

  const std::vector<std::string> events = probe->Events();
  const auto begun = std::find(events.begin(), events.end(), "execute " + Tag(kGetDataRate));
  ASSERT_NE(begun, events.end());
  ASSERT_NE(begun + 1, events.end());
  EXPECT_EQ(*(begun + 1), "answered " + Tag(kGetDataRate));
}

TEST(WorkerDeadline, AnIntervalBeyondTheClocksRangeMeansNoDeadline) {
  const Clock::TimePoint now = SteadyClock().Now();
  EXPECT_EQ(DeadlineAfter(now, Milliseconds(2)), now + std::chrono::milliseconds(2));
  EXPECT_EQ(DeadlineAfter(now, Milliseconds::max()), std::nullopt);
  const auto room = std::chrono::duration_cast<Milliseconds>(Clock::TimePoint::max() - now);
  EXPECT_TRUE(DeadlineAfter(now, room).has_value());
  EXPECT_EQ(DeadlineAfter(now, room + Milliseconds(1)), std::nullopt);
}

}  // namespace
}  // namespace tarnix::worker
