// The bridge worker: one thread that owns a session and serves forwarded requests one at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/result.h"
#include "platform/thread.h"
#include "protocol/request.h"
#include "protocol/response.h"
#include "worker/channel.h"

namespace tarnix::worker {

/// Milliseconds as an unsigned 64-bit count, wide enough for any configured poll interval.
using Milliseconds = std::chrono::duration<uint64_t, std::milli>;

/// What a worker runs: the open connection and everything that serves it. It is created, used and
/// released on the worker thread only, so it needs no locks of its own.
class Session {
 public:
  virtual ~Session() = default;

  /// Answers one forwarded request: only the methods that routing.h gives to the session reach it.
  virtual protocol::Outcome Execute(const protocol::Request& request) = 0;

  /// One idle pump cycle (reads with a 0 ms timeout, so it never blocks for long).
  virtual void Pump() = 0;

  /// How long the worker waits for a command before it pumps on its own.
  virtual Milliseconds PollInterval() const = 0;
};

/// Builds the session on the worker thread. The error text is the start-up failure the client
/// receives unchanged (the connection sequence's own text).
using SessionFactory = std::function<Result<std::unique_ptr<Session>>()>;

/// One forwarded request and where its one reply goes.
struct Command {
  protocol::Request request;
  Sender<protocol::Outcome> reply;
};

/// The control thread's hold on a running worker: the command producer side and the thread.
/// Destroying it releases it (see Release).
class WorkerHandle {
 public:
  WorkerHandle(Sender<Command> commands, platform::Thread thread)
      : thread_(std::move(thread)), commands_(std::move(commands)) {}
  WorkerHandle(WorkerHandle&&) noexcept = default;
  /// Releases the worker held before (channel closed, thread joined), then takes `other`'s.
  WorkerHandle& operator=(WorkerHandle&& other) noexcept {
    commands_ = std::move(other.commands_);
    thread_ = std::move(other.thread_);
    return *this;
  }

  /// Whether the worker still takes commands (false once its thread has left its loop).
  bool Alive() const { return commands_.ConsumerAlive(); }

 private:
  friend Result<protocol::Outcome> Exchange(WorkerHandle& worker, protocol::Request request,
                                            const std::function<bool()>& abandon);
  friend void Release(WorkerHandle worker);

  // Declared in this order so that implicit destruction also closes the channel before joining.
  platform::Thread thread_;
  Sender<Command> commands_;
};

inline constexpr char kCommandChannelClosed[] = "Bridge worker command channel is closed";
inline constexpr char kTerminatedWhileProcessing[] =
    "Bridge worker terminated while processing request";
inline constexpr char kTerminatedBeforeStartup[] =
    "Bridge worker terminated before startup completed";
inline constexpr char kFailedToStart[] = "Failed to start bridge worker: ";
inline constexpr char kControlThreadOnly[] = "Request must be handled by the bridge control thread";
inline constexpr char kReplyAbandoned[] = "Bridge worker reply no longer wanted";

/// How often Exchange asks whether a reply is still wanted.
inline constexpr std::chrono::milliseconds kAbandonCheckInterval{10};

/// How the worker thread is created; the defaults are what the bridge uses.
struct WorkerOptions {
  std::string thread_name = "tarnix-io";
  size_t stack_bytes = size_t{2} << 20;
};

/// Starts a worker thread that builds its session with `factory` and then serves commands.
/// Blocks until the session exists. Errors: "Failed to start bridge worker: " + the system's
/// text, the factory's error text, or "Bridge worker terminated before startup completed" when
/// the thread ended without reporting (a fault). On any error the thread has already ended.
Result<WorkerHandle> StartWorker(SessionFactory factory, const WorkerOptions& options = {});

/// Sends `request` to the worker and waits, without a time limit, for its reply. Errors: "Bridge
/// worker command channel is closed" (the worker is gone) or "Bridge worker terminated while
/// processing request" (it ended without answering). After either, the worker is unusable.
/// `abandon`, when given, is asked every kAbandonCheckInterval while the reply is outstanding;
/// once it answers true the wait ends with kReplyAbandoned, and the worker, still busy, must be
/// released (which ends a waiting ReadMessages early).
Result<protocol::Outcome> Exchange(WorkerHandle& worker, protocol::Request request,
                                   const std::function<bool()>& abandon = {});

/// Closes the command channel and waits for the worker thread to end; the worker finishes a
/// request in progress, leaves its loop and releases its session first.
void Release(WorkerHandle worker);

/// Whether the control thread has let go of the worker running on the calling thread (its command
/// channel is closed): nobody waits for the answer of the request in progress, so a long wait
/// inside it may end early. False on any other thread.
bool WorkerReleased();

/// now + `interval`, or nullopt when that lies beyond the clock's range (wait without a limit).
std::optional<Clock::TimePoint> DeadlineAfter(Clock::TimePoint now, Milliseconds interval);

}  // namespace tarnix::worker
