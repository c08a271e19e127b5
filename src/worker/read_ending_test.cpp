// The client's next request ends a waiting ReadMessages, and only the read it arrived during: the
// worker, its exchange and the pump's wait together, on a clock that moves only as the pump reads.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "common/fake_clock.h"
#include "worker/rx_pump.h"
#include "worker/worker.h"

namespace tarnix::worker {
namespace {

constexpr Milliseconds kPoll{5};
constexpr uint32_t kTimeoutMs = 1000;

/// Answers ReadMessages through TakeFrames from a device that never receives anything: each pause
/// moves the fake clock, each pump cycle counts itself.
class IdleDeviceSession final : public Session {
 public:
  explicit IdleDeviceSession(std::shared_ptr<std::atomic<uint32_t>> cycles)
      : cycles_(std::move(cycles)) {}

  protocol::Outcome Execute(const protocol::Request& request) override {
    const DrainFunction drain = [this](uint32_t, RxBuffer&) -> Result<void> {
      ++*cycles_;
      return Ok();
    };
    const Pause pause = [this](Clock::Duration duration) { clock_.Advance(duration); };
    return protocol::Payload(TakeFrames(buffer_, drain, std::get<protocol::ReadMessages>(request),
                                        kPoll, clock_, pause));
  }
  void Pump() override {}
  Milliseconds PollInterval() const override { return Milliseconds::max(); }

 private:
  std::shared_ptr<std::atomic<uint32_t>> cycles_;
  FakeClock clock_;
  RxBuffer buffer_{16};
};

/// A watch whose client has already begun its next request, or not.
class NextRequest final : public ReplyWatch {
 public:
  explicit NextRequest(bool begun) : begun_(begun) {}
  std::function<void()> Notifier() override {
    return [] {};
  }
  void Wait(std::chrono::milliseconds) override {}
  bool Abandon() override { return false; }
  bool NextRequestBegun() override { return begun_; }

 private:
  bool begun_;
};

TEST(ReadEnding, TheNextRequestEndsOnlyTheReadItArrivedDuring) {
  auto cycles = std::make_shared<std::atomic<uint32_t>>(0);
  Result<WorkerHandle> worker = StartWorker([cycles]() -> Result<std::unique_ptr<Session>> {
    return std::unique_ptr<Session>(std::make_unique<IdleDeviceSession>(cycles));
  });
  ASSERT_TRUE(worker.ok());
  const protocol::ReadMessages read{kTimeoutMs, 256, 64};

  NextRequest begun(true);
  ASSERT_TRUE(Exchange(*worker, read, &begun).ok());
  // Ended before its first pause: one look at the device.
  EXPECT_EQ(cycles->load(), 1u);

  cycles->store(0);
  NextRequest quiet(false);
  ASSERT_TRUE(Exchange(*worker, read, &quiet).ok());
  // The end asked for the earlier read does not reach this one: it waits out its time-out.
  EXPECT_GE(cycles->load(), kTimeoutMs / kPoll.count());
  Release(std::move(worker).value());
}

}  // namespace
}  // namespace tarnix::worker
