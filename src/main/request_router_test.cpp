// Control-thread routing with fake sessions: every transition of the connection state, the
// channel failures and what follows them, and the poisoned lock.
#include "main/request_router.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "log/captured_log.h"
#include "main/message_loop.h"
#include "wire/types.h"
#include "worker/fake_session.h"

namespace tarnix::main {
namespace {

using worker::testing::Behaviour;
using worker::testing::FakeFactory;
using worker::testing::Probe;
using worker::testing::Tag;

const protocol::Request kOpen = protocol::Open{"vendor.dll", 6, 500000, 0};
const protocol::Request kReadVersion = protocol::ReadVersion{};

std::vector<wire::DeviceInfo> OneDevice() {
  wire::DeviceInfo device;
  device.name = "Fake";
  device.vendor = "Tests";
  return {device};
}

/// A bridge whose Open builds whatever factory the test installs next.
struct Bridge {
  BridgeState state;
  RouterDeps deps;
  std::vector<wire::DeviceInfo> devices = OneDevice();
  worker::SessionFactory next_factory;
  std::vector<protocol::Open> opens;  // the parameters each Open handed to the factory builder
  size_t enumerations = 0;

  Bridge() {
    deps.enumerate_devices = [this] {
      ++enumerations;
      return devices;
    };
    deps.session_factory = [this](const protocol::Open& open) {
      opens.push_back(open);
      return next_factory;
    };
  }

  protocol::Outcome Handle(const protocol::Request& request) {
    return HandleRequest(request, state, deps);
  }

  /// Opens with a fake session recording into `probe`.
  void Connect(const std::shared_ptr<Probe>& probe, Behaviour behaviour = {}) {
    next_factory = FakeFactory(probe, behaviour);
    ASSERT_TRUE(IsNull(Handle(kOpen)));
  }

  bool Connected() { return state.Lock().worker().has_value(); }

  static bool IsNull(const protocol::Outcome& outcome) {
    const auto* payload = std::get_if<protocol::Payload>(&outcome);
    return payload && std::holds_alternative<std::monostate>(*payload);
  }
};

std::string ErrorOf(const protocol::Outcome& outcome) {
  const auto* failure = std::get_if<protocol::Failure>(&outcome);
  if (!failure) return "<success>";
  EXPECT_EQ(failure->code, -1);
  return failure->message;
}

TEST(RequestRouting, NotConnected) {
  Bridge bridge;
  EXPECT_EQ(ErrorOf(bridge.Handle(kReadVersion)), "Not connected");
  EXPECT_TRUE(Bridge::IsNull(bridge.Handle(protocol::Close{})));
  EXPECT_TRUE(Bridge::IsNull(bridge.Handle(protocol::Shutdown{})));
  EXPECT_FALSE(bridge.Connected());
  EXPECT_TRUE(bridge.opens.empty());
}

TEST(RequestRouting, OpenPassesItsParametersAndAFailedStartLeavesTheStateEmpty) {
  const std::string sequence_text = "ERR_J2534_LOAD: cannot load vendor.dll";
  struct Case {
    const char* name;
    worker::SessionFactory factory;
    std::string text;
  };
  const Case cases[] = {
      {"sequence fails", worker::testing::FailingFactory(sequence_text), sequence_text},
      {"fault while starting", worker::testing::ThrowingFactory(),
       worker::kTerminatedBeforeStartup},
  };
  for (const Case& c : cases) {
    Bridge bridge;
    bridge.next_factory = c.factory;
    EXPECT_EQ(ErrorOf(bridge.Handle(kOpen)), c.text) << c.name;
    EXPECT_FALSE(bridge.Connected()) << c.name;
    EXPECT_FALSE(bridge.state.poisoned()) << "an answered error is no escaped failure";
    ASSERT_EQ(bridge.opens.size(), 1u);
    EXPECT_EQ(bridge.opens[0].dll_path, "vendor.dll");
    EXPECT_EQ(bridge.opens[0].protocol_id, 6u);
    EXPECT_EQ(bridge.opens[0].baud_rate, 500000u);

    // The next Open is accepted.
    auto probe = std::make_shared<Probe>();
    bridge.Connect(probe);
    EXPECT_TRUE(bridge.Connected()) << c.name;
  }
}

TEST(RequestRouting, AScanRunsOnAWorkerOfItsOwnUnlessADeviceIsOpen) {
  Bridge bridge;
  const protocol::Request scan = protocol::ScanDevices{"vendor.dll"};
  EXPECT_EQ(ErrorOf(bridge.Handle(scan)), "Not connected") << "no scan session to run it";
  auto alone = std::make_shared<Probe>();
  bridge.deps.scan_factory = [alone] { return worker::testing::FakeFactory(alone); };
  EXPECT_FALSE(Bridge::IsNull(bridge.Handle(scan)));
  EXPECT_EQ(alone->Count("answered 31"), 1u);
  EXPECT_EQ(alone->Events().back(), "released") << "released before the answer";
  EXPECT_FALSE(bridge.Connected());

  auto open = std::make_shared<Probe>();
  bridge.Connect(open);
  bridge.Handle(scan);
  EXPECT_EQ(open->Count("execute 31"), 1u) << "the open device's worker scans";
  EXPECT_EQ(alone->Count("execute 31"), 1u);

  // A start-up failure's status reaches the answer beside its text.
  Bridge failing;
  failing.next_factory = [] { return Result<std::unique_ptr<worker::Session>>(Fail("no", 8)); };
  const auto failure = std::get<protocol::Failure>(failing.Handle(kOpen));
  EXPECT_EQ(failure.j2534_status, 8u);
}

TEST(RequestRouting, ConnectedForwardsRequestsAndRefusesASecondOpen) {
  Bridge bridge;
  auto probe = std::make_shared<Probe>();
  bridge.Connect(probe);

  EXPECT_EQ(ErrorOf(bridge.Handle(kOpen)), "Already connected");
  EXPECT_EQ(bridge.opens.size(), 1u) << "the second Open never reaches a factory";

  const protocol::Outcome version = bridge.Handle(kReadVersion);
  EXPECT_EQ(std::get<wire::VersionInfo>(std::get<protocol::Payload>(version)),
            (wire::VersionInfo{"fw", "dll", "api"}));
  // A failure the worker built is answered unchanged and leaves the worker in place.
  EXPECT_EQ(ErrorOf(bridge.Handle(protocol::GetLastError{})),
            "ERR_FAKE: the session's own failure");
  EXPECT_TRUE(bridge.Connected());
  EXPECT_EQ(probe->Count("execute " + Tag(kReadVersion)), 1u);
}

TEST(RequestRouting, CloseAndShutdownAnswerOnlyAfterTheWorkerHasEnded) {
  for (const protocol::Request& ending :
       {protocol::Request(protocol::Close{}), protocol::Request(protocol::Shutdown{})}) {
    Bridge bridge;
    auto first = std::make_shared<Probe>();
    bridge.Connect(first);
    EXPECT_TRUE(Bridge::IsNull(bridge.Handle(ending)));
    EXPECT_EQ(first->Events(), (std::vector<std::string>{"released"}));
    EXPECT_FALSE(bridge.Connected());
    EXPECT_EQ(ErrorOf(bridge.Handle(kReadVersion)), "Not connected");

    // A new Open starts a new worker.
    auto second = std::make_shared<Probe>();
    bridge.Connect(second);
    EXPECT_TRUE(bridge.Handle(kReadVersion).index() == 0);
    EXPECT_EQ(second->Count("execute " + Tag(kReadVersion)), 1u);
    EXPECT_EQ(first->Events(), (std::vector<std::string>{"released"}));
  }
}

TEST(RequestRouting, AWorkerFaultDuringARequestDisconnects) {
  Bridge bridge;
  auto probe = std::make_shared<Probe>();
  Behaviour faulty;
  faulty.throw_on_execute = true;
  bridge.Connect(probe, faulty);
  EXPECT_EQ(ErrorOf(bridge.Handle(kReadVersion)), worker::kTerminatedWhileProcessing);
  EXPECT_FALSE(bridge.Connected());
  EXPECT_EQ(probe->Events().back(), "released");
  EXPECT_EQ(ErrorOf(bridge.Handle(kReadVersion)), "Not connected");
}

TEST(RequestRouting, AWorkerThatDiedWhileIdleIsNoticedByTheNextRequestOnly) {
  for (const bool notice_with_close : {false, true}) {
    Bridge bridge;
    auto probe = std::make_shared<Probe>();
    Behaviour dies;
    dies.poll_interval = worker::Milliseconds(1);
    dies.throw_on_pump = 2;
    bridge.Connect(probe, dies);
    probe->WaitFor("released");

    EXPECT_EQ(ErrorOf(bridge.Handle(kOpen)), "Already connected");
    const protocol::Request next =
        notice_with_close ? protocol::Request(protocol::Close{}) : kReadVersion;
    EXPECT_EQ(ErrorOf(bridge.Handle(next)), worker::kCommandChannelClosed);
    EXPECT_FALSE(bridge.Connected());
    EXPECT_EQ(ErrorOf(bridge.Handle(kReadVersion)), "Not connected");
    bridge.Connect(std::make_shared<Probe>());
  }
}

TEST(RequestRouting, EnumerationNeverTouchesTheConnection) {
  Bridge bridge;
  auto probe = std::make_shared<Probe>();
  const auto devices = [&] {
    const protocol::Outcome outcome = bridge.Handle(protocol::EnumerateDevices{});
    return std::get<std::vector<wire::DeviceInfo>>(std::get<protocol::Payload>(outcome));
  };
  EXPECT_EQ(devices(), bridge.devices);
  bridge.Connect(probe);
  EXPECT_EQ(devices(), bridge.devices);
  EXPECT_TRUE(bridge.Connected());
  EXPECT_EQ(probe->Events(), (std::vector<std::string>{})) << "the worker saw nothing";
  bridge.Handle(protocol::Close{});
  EXPECT_EQ(devices(), bridge.devices);
  EXPECT_EQ(bridge.enumerations, 3u);
}

TEST(BridgeStateLock, AFailureWhileHeldPoisonsEveryLaterLockButNotEnumeration) {
  Bridge bridge;
  bridge.deps.session_factory = [](const protocol::Open&) -> worker::SessionFactory {
    throw std::runtime_error("fault under the lock");
  };
  EXPECT_THROW(bridge.Handle(kOpen), std::runtime_error);
  EXPECT_TRUE(bridge.state.poisoned());

  for (const protocol::Request& locked : {kOpen, kReadVersion, protocol::Request(protocol::Close{}),
                                          protocol::Request(protocol::Shutdown{})}) {
    EXPECT_THROW(bridge.Handle(locked), PoisonedStateError) << "method " << locked.index();
  }
  EXPECT_TRUE(
      std::holds_alternative<protocol::Payload>(bridge.Handle(protocol::EnumerateDevices{})));
  bridge.state.ReleaseWorker();  // skipped, not thrown

  // Through the loop's fault guard the poisoned lock is an internal fault, code -999.
  CapturedLog quiet;
  const RequestHandler handler = [&](protocol::Request&& r, worker::ReplyWatch*) {
    return bridge.Handle(r);
  };
  const auto failure = std::get<protocol::Failure>(HandleGuarded(handler, kReadVersion));
  EXPECT_EQ(failure.code, -999);
  EXPECT_EQ(failure.message.rfind("J2534 DLL caused panic: ", 0), 0u);
}

TEST(RequestHandling, TheLoopsReleaseEndsAPresentWorkerAndIsHarmlessOtherwise) {
  auto probe = std::make_shared<Probe>();
  RouterDeps deps;
  deps.enumerate_devices = [] { return std::vector<wire::DeviceInfo>{}; };
  deps.session_factory = [probe](const protocol::Open&) { return FakeFactory(probe); };
  const RequestHandling handling = MakeRequestHandling(deps);

  handling.release_worker();  // nothing open yet
  EXPECT_TRUE(Bridge::IsNull(handling.handle(protocol::Request(kOpen), {})));
  EXPECT_TRUE(handling.handle(protocol::Request(kReadVersion), {}).index() == 0);
  handling.release_worker();
  EXPECT_EQ(probe->Events().back(), "released");
  EXPECT_EQ(ErrorOf(handling.handle(protocol::Request(kReadVersion), {})), "Not connected");
  handling.release_worker();
}

}  // namespace
}  // namespace tarnix::main
