// The bridge worker: one thread that owns a session and serves forwarded requests one at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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

/// What the control thread watches while it waits for the worker (its start-up or an answer).
class ReplyWatch {
 public:
  virtual ~ReplyWatch() = default;

  /// What the worker calls, on its own thread, once its answer is queued; it wakes Wait. It may
  /// be called after the watch is gone (a worker answering late), so it owns what it uses.
  virtual std::function<void()> Notifier() = 0;

  /// Blocks until notified, until the watch has something new to report, or for at most `limit`.
  virtual void Wait(std::chrono::milliseconds limit) = 0;

  /// Whether the answer is no longer wanted (the client is gone, or the bridge was asked to stop).
  virtual bool Abandon() = 0;

  /// Whether the client's next request has begun to arrive: a waiting read then ends early.
  virtual bool NextRequestBegun() = 0;
};

/// One forwarded request, where its one reply goes, and whom to tell once it is there.
struct Command {
  protocol::Request request;
  Sender<protocol::Outcome> reply;
  uint64_t sequence = 0;          ///< numbers the requests of one worker, from 1
  std::function<void()> replied;  ///< called after the reply is queued (may be empty)
};

/// What a worker's release does when its thread has not ended within the grace period (given):
/// report the library call in progress and end the process. Should it return, the thread is
/// abandoned, never joined.
using StuckRelease = std::function<void(std::chrono::milliseconds grace)>;

/// The one start-up report of a worker: success, or the text of the failure.
using StartupReport = Result<void>;

/// The state the control thread and the worker thread share beyond the channels: which waiting
/// reads should end, and the wake-up of a read's pause.
class WorkerShared {
 public:
  /// Ends the waiting reads of requests up to number `sequence`, waking a pause in progress.
  void EndReadsThrough(uint64_t sequence);
  /// Wakes a pause in progress, so that it looks again whether it should end (a release).
  void Wake();
  /// The last request number whose waiting read should end.
  uint64_t end_reads_through() const { return end_reads_through_.load(std::memory_order_relaxed); }
  /// Waits up to `duration`, or until woken and `done` answers true.
  template <typename Done>
  void Pause(Clock::Duration duration, Done done) {
    std::unique_lock lock(mutex_);
    woken_.wait_for(lock, duration, done);
  }

 private:
  std::atomic<uint64_t> end_reads_through_{0};
  std::mutex mutex_;
  std::condition_variable woken_;
};

/// How the worker thread is created; the defaults are what the bridge uses.
struct WorkerOptions {
  std::string thread_name = "tarnix-io";
  size_t stack_bytes = size_t{2} << 20;
};

/// The control thread's hold on a running worker: the command producer side and the thread.
/// Destroying it releases it (see Release).
class WorkerHandle {
 public:
  WorkerHandle(Sender<Command> commands, platform::Thread thread, Receiver<bool> ended,
               std::shared_ptr<WorkerShared> shared)
      : thread_(std::move(thread)),
        ended_(std::move(ended)),
        shared_(std::move(shared)),
        commands_(std::move(commands)) {}
  WorkerHandle(WorkerHandle&&) noexcept = default;
  /// Releases the worker held before (channel closed, thread joined), then takes `other`'s.
  WorkerHandle& operator=(WorkerHandle&& other) noexcept {
    commands_ = std::move(other.commands_);
    thread_ = std::move(other.thread_);
    ended_ = std::move(other.ended_);
    shared_ = std::move(other.shared_);
    startup_ = std::move(other.startup_);
    next_sequence_ = other.next_sequence_;
    grace_ = other.grace_;
    stuck_ = std::move(other.stuck_);
    return *this;
  }

  /// Bounds every later release: when the thread has not ended `grace` after its channel closed,
  /// `stuck` is called instead of waiting on.
  void BoundRelease(std::chrono::milliseconds grace, StuckRelease stuck) {
    grace_ = grace;
    stuck_ = std::move(stuck);
  }

 private:
  friend Result<protocol::Outcome> Exchange(WorkerHandle& worker, protocol::Request request,
                                            ReplyWatch* watch);
  friend Result<void> AwaitStartup(WorkerHandle& worker, ReplyWatch* watch);
  friend void Release(WorkerHandle worker);
  friend void Abandon(WorkerHandle worker);
  friend Result<WorkerHandle> LaunchWorker(SessionFactory factory, const WorkerOptions& options);

  // Declared in this order so that implicit destruction also closes the channel before joining.
  platform::Thread thread_;
  Receiver<bool> ended_;  // closed once the thread is about to end
  std::shared_ptr<WorkerShared> shared_;
  Sender<Command> commands_;
  std::optional<Receiver<StartupReport>> startup_;  // until AwaitStartup took the report
  uint64_t next_sequence_ = 0;
  std::optional<std::chrono::milliseconds> grace_;
  StuckRelease stuck_;
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

/// Starts a worker thread that builds its session with `factory` and then serves commands.
/// Blocks until the session exists. Errors: "Failed to start bridge worker: " + the system's
/// text, the factory's error text, or "Bridge worker terminated before startup completed" when
/// the thread ended without reporting (a fault). On any error the thread has already ended.
Result<WorkerHandle> StartWorker(SessionFactory factory, const WorkerOptions& options = {});

/// Starts a worker thread as StartWorker does, without waiting for its session: AwaitStartup
/// follows. The error is "Failed to start bridge worker: " + the system's text.
Result<WorkerHandle> LaunchWorker(SessionFactory factory, const WorkerOptions& options = {});

/// Waits for the session of a launched worker, as StartWorker describes, watching `watch` (when
/// given) as Exchange does; abandoned, the error is kReplyAbandoned. After any error the worker
/// must be released.
Result<void> AwaitStartup(WorkerHandle& worker, ReplyWatch* watch);

/// Sends `request` to the worker and waits for its reply. Errors: "Bridge worker command channel
/// is closed" (the worker is gone) or "Bridge worker terminated while processing request" (it
/// ended without answering). After either, the worker is unusable. Without `watch` the wait has
/// no limit. With it, the wait is woken by the worker's answer and looks at the watch at least
/// every kAbandonCheckInterval: once the next request has begun, a waiting read of this request
/// ends early (ReadShouldEnd); once the answer is abandoned, the wait ends with kReplyAbandoned
/// and the worker, still busy, must be released (which also ends a waiting read early).
Result<protocol::Outcome> Exchange(WorkerHandle& worker, protocol::Request request,
                                   ReplyWatch* watch = nullptr);

/// Closes the command channel and waits for the worker thread to end; the worker finishes a
/// request in progress, leaves its loop and releases its session first. A release bounded by
/// BoundRelease calls its StuckRelease once the grace period has passed without the thread's end.
void Release(WorkerHandle worker);

/// Lets go of a worker whose thread must never be joined nor waited for (the system's loader it
/// used can no longer be trusted): its channels close, and the thread and what it uses stay until
/// the process ends, which should be soon.
void Abandon(WorkerHandle worker);

/// Whether the control thread has let go of the worker running on the calling thread (its command
/// channel is closed): nobody waits for the answer of the request in progress, so a long wait
/// inside it may end early. False on any other thread.
bool WorkerReleased();

/// Whether a wait for frames in the request running on the calling worker thread should end now:
/// the worker is released, or the client's next request has begun to arrive. False on any other
/// thread.
bool ReadShouldEnd();

/// A waiting read's pause between two reads of the device: up to `duration`, ended early once
/// ReadShouldEnd. On a thread that runs no worker, a plain sleep.
void PauseForRead(Clock::Duration duration);

/// now + `interval`, or nullopt when that lies beyond the clock's range (wait without a limit).
std::optional<Clock::TimePoint> DeadlineAfter(Clock::TimePoint now, Milliseconds interval);

}  // namespace tarnix::worker
