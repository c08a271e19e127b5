// Test doubles for the worker machinery: sessions that record what reaches them and fail on cue.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "platform/thread.h"
#include "wire/types.h"
#include "worker/worker.h"

namespace tarnix::worker::testing {

/// What a fake session saw, readable from the test thread while the worker runs.
class Probe {
 public:
  void Record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

  size_t Count(const std::string& event) {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(events_.begin(), events_.end(), event));
  }

  /// Blocks until `event` has been recorded `times` times.
  void WaitFor(const std::string& event, size_t times = 1) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
      return static_cast<size_t>(std::count(events_.begin(), events_.end(), event)) >= times;
    });
  }

  /// The thread the session was built on.
  std::string thread_name;
  std::thread::id thread_id;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

/// How a fake session behaves. By default it never pumps on its own (the poll interval is beyond
/// the clock's range) and answers every request.
struct Behaviour {
  Milliseconds poll_interval = Milliseconds::max();
  bool throw_on_execute = false;
  size_t throw_on_pump = 0;               ///< the pump cycle (1-based) that throws; 0 never
  std::shared_future<void> execute_gate;  ///< when valid, Execute waits for it
};

/// The request's method number, as events and answers name it.
inline std::string Tag(const protocol::Request& request) {
  return std::to_string(request.index());
}

/// Records "execute N", "pump" and "released" (on destruction). Answers ReadVersion with a version
/// payload, GetLastError with an error of its own, everything else with its method number.
class FakeSession : public Session {
 public:
  FakeSession(std::shared_ptr<Probe> probe, Behaviour behaviour)
      : probe_(std::move(probe)), behaviour_(std::move(behaviour)) {}
  ~FakeSession() override { probe_->Record("released"); }

  protocol::Outcome Execute(const protocol::Request& request) override {
    probe_->Record("execute " + Tag(request));
    if (behaviour_.execute_gate.valid()) behaviour_.execute_gate.wait();
    if (behaviour_.throw_on_execute) throw std::runtime_error("fault while executing");
    probe_->Record("answered " + Tag(request));
    if (std::holds_alternative<protocol::ReadVersion>(request)) {
      return protocol::Payload(wire::VersionInfo{"fw", "dll", "api"});
    }
    if (std::holds_alternative<protocol::GetLastError>(request)) {
      return protocol::RequestFailed("ERR_FAKE: the session's own failure");
    }
    return protocol::Payload(static_cast<uint32_t>(request.index()));
  }

  void Pump() override {
    probe_->Record("pump");
    if (++pumps_ == behaviour_.throw_on_pump) throw std::runtime_error("fault while pumping");
  }

  Milliseconds PollInterval() const override { return behaviour_.poll_interval; }

 private:
  std::shared_ptr<Probe> probe_;
  Behaviour behaviour_;
  size_t pumps_ = 0;
};

/// Builds a FakeSession, noting the thread it runs on.
inline SessionFactory FakeFactory(std::shared_ptr<Probe> probe, Behaviour behaviour = {}) {
  return [probe, behaviour]() -> Result<std::unique_ptr<Session>> {
    probe->thread_name = platform::CurrentThreadName();
    probe->thread_id = std::this_thread::get_id();
    return std::unique_ptr<Session>(std::make_unique<FakeSession>(probe, behaviour));
  };
}

/// A start-up that fails the way a connection sequence does.
inline SessionFactory FailingFactory(std::string text) {
  return [text]() -> Result<std::unique_ptr<Session>> { return Fail(text); };
}

/// A start-up that faults.
inline SessionFactory ThrowingFactory() {
  return []() -> Result<std::unique_ptr<Session>> {
    throw std::runtime_error("fault while starting");
  };
}

}  // namespace tarnix::worker::testing
