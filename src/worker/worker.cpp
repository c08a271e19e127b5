// The worker thread's life: build the session, report start-up, serve commands, release in order.
#include "worker/worker.h"

#include <thread>
#include <utility>
#include <vector>

#include "worker/routing.h"

namespace tarnix::worker {
namespace {

/// What the worker thread owns from its first instruction on.
struct WorkerEnds {
  SessionFactory factory;
  Sender<StartupReport> startup;
  Receiver<Command> commands;
  Sender<bool> ended;  // released last, as the thread ends
  std::shared_ptr<WorkerShared> shared;
};

/// The worker running on this thread, for WorkerReleased() and ReadShouldEnd().
thread_local const Receiver<Command>* t_commands = nullptr;
thread_local WorkerShared* t_shared = nullptr;
thread_local uint64_t t_sequence = 0;

/// Answers one command on its reply channel; true when the worker must leave its loop. The
/// command (request and reply side) is released before this returns.
bool Execute(Session& session, Command command) {
  const AnsweredBy who = WhoAnswers(command.request);
  t_sequence = command.sequence;
  protocol::Outcome outcome;
  switch (who) {
    case AnsweredBy::kControlThread:
    case AnsweredBy::kNewWorker:
      outcome = protocol::RequestFailed(kControlThreadOnly);
      break;
    case AnsweredBy::kWorkerLoop:
      outcome = protocol::Payload();
      break;
    case AnsweredBy::kSession:
    case AnsweredBy::kSessionOrScanWorker:
      outcome = session.Execute(command.request);
      break;
  }
  // A control thread that stopped listening is not the worker's concern.
  static_cast<void>(command.reply.Send(std::move(outcome)));
  if (command.replied) command.replied();
  return who == AnsweredBy::kWorkerLoop;
}

/// Serves commands until Close or Shutdown is answered or the command channel closes, pumping
/// after every other command and whenever a poll interval passes without one.
void Serve(Session& session, Receiver<Command>& commands) {
  const Milliseconds interval = session.PollInterval();
  t_commands = &commands;
  struct Unset {
    ~Unset() { t_commands = nullptr; }
  } unset;
  for (;;) {
    Receipt<Command> receipt = commands.ReceiveUntil(DeadlineAfter(SteadyClock().Now(), interval));
    switch (receipt.status) {
      case ReceiveStatus::kClosed:
        return;
      case ReceiveStatus::kTimedOut:
        break;
      case ReceiveStatus::kMessage:
        if (Execute(session, std::move(*receipt.message))) return;
        break;
    }
    session.Pump();
  }
}

/// The thread body. Release order on every path: the command consumer side, so that a request
/// sent once the loop is over fails at once rather than wait on a teardown that may not return;
/// then the session (the connection inside it), the start-up producer side, and last the sign of
/// the end.
void RunWorker(WorkerEnds ends) {
  Sender<bool> ended = std::move(ends.ended);
  Sender<StartupReport> startup = std::move(ends.startup);
  t_shared = ends.shared.get();
  try {
    Result<std::unique_ptr<Session>> session = ends.factory();
    ends.factory = nullptr;
    if (!session.ok()) {
      static_cast<void>(startup.Send(std::move(session).error()));
      return;
    }
    static_cast<void>(startup.Send(Ok()));
    // Declared after the session, so that it goes first, also when a fault unwinds.
    Receiver<Command> commands = std::move(ends.commands);
    Serve(*session.value(), commands);
  } catch (...) {
    // A fault ends the worker without an answer: unwinding has already released the session, and
    // the closed channels tell the control thread what happened.
  }
}

/// Waits for the message on `receiver`, watching `watch` (when given) as Exchange describes; the
/// message, or nullopt when the channel closed (`abandoned` false) or the watch gave up on it.
template <typename T>
std::optional<T> AwaitReply(Receiver<T>& receiver, ReplyWatch* watch, WorkerShared& shared,
                            uint64_t sequence, bool& abandoned) {
  abandoned = false;
  if (watch == nullptr) return receiver.Receive();
  for (;;) {
    Receipt<T> reply = receiver.TryReceive();
    if (reply.status == ReceiveStatus::kMessage) return std::move(reply.message);
    if (reply.status == ReceiveStatus::kClosed) return std::nullopt;
    // The read's end first: it is what a waiting client's next request is held by.
    if (sequence != 0 && shared.end_reads_through() < sequence && watch->NextRequestBegun()) {
      shared.EndReadsThrough(sequence);
    }
    if (watch->Abandon()) {
      abandoned = true;
      return std::nullopt;
    }
    watch->Wait(kAbandonCheckInterval);
  }
}

}  // namespace

std::optional<Clock::TimePoint> DeadlineAfter(Clock::TimePoint now, Milliseconds interval) {
  // The steady clock counts up from a non-negative origin, so the room left is never negative.
  const auto room = std::chrono::duration_cast<Milliseconds>(Clock::TimePoint::max() - now);
  if (interval > room) return std::nullopt;
  return now + std::chrono::duration_cast<Clock::Duration>(interval);
}

Result<WorkerHandle> LaunchWorker(SessionFactory factory, const WorkerOptions& options) {
  auto [command_sender, command_receiver] = MakeChannel<Command>(kUnbounded);
  auto [startup_sender, startup_receiver] = MakeChannel<StartupReport>(1);
  auto [ended_sender, ended_receiver] = MakeChannel<bool>(1);
  auto shared = std::make_shared<WorkerShared>();
  // The thread body must be copyable; the ends it owns move out of this box on its first line.
  auto ends = std::make_shared<WorkerEnds>(WorkerEnds{std::move(factory), std::move(startup_sender),
                                                      std::move(command_receiver),
                                                      std::move(ended_sender), shared});
  Result<platform::Thread> thread = platform::Thread::Start(
      options.thread_name, options.stack_bytes, [ends] { RunWorker(std::move(*ends)); });
  if (!thread.ok()) return Fail(kFailedToStart + thread.error().text);
  ends.reset();
  WorkerHandle worker(std::move(command_sender), std::move(thread).value(),
                      std::move(ended_receiver), std::move(shared));
  worker.startup_.emplace(std::move(startup_receiver));
  return worker;
}

Result<void> AwaitStartup(WorkerHandle& worker, ReplyWatch* watch) {
  if (!worker.startup_) return Ok();
  bool abandoned = false;
  std::optional<StartupReport> startup =
      AwaitReply(*worker.startup_, watch, *worker.shared_, 0, abandoned);
  if (abandoned) return Fail(kReplyAbandoned);
  worker.startup_.reset();
  if (!startup) return Fail(kTerminatedBeforeStartup);
  return std::move(*startup);
}

Result<WorkerHandle> StartWorker(SessionFactory factory, const WorkerOptions& options) {
  Result<WorkerHandle> worker = LaunchWorker(std::move(factory), options);
  if (!worker.ok()) return worker;
  if (Result<void> started = AwaitStartup(*worker, nullptr); !started.ok()) {
    Release(std::move(worker).value());
    return std::move(started).error();
  }
  return worker;
}

Result<protocol::Outcome> Exchange(WorkerHandle& worker, protocol::Request request,
                                   ReplyWatch* watch) {
  auto [reply_sender, reply_receiver] = MakeChannel<protocol::Outcome>(1);
  const uint64_t sequence = ++worker.next_sequence_;
  Command command{std::move(request), std::move(reply_sender), sequence, {}};
  if (watch != nullptr) {
    command.replied = watch->Notifier();
    // A client that sent its next request before this one's answer: the read has no wait at all.
    if (watch->NextRequestBegun()) {
      worker.shared_->EndReadsThrough(sequence);
    }
  }
  if (!worker.commands_.Send(std::move(command))) return Fail(kCommandChannelClosed);
  bool abandoned = false;
  std::optional<protocol::Outcome> reply =
      AwaitReply(reply_receiver, watch, *worker.shared_, sequence, abandoned);
  if (reply) return std::move(*reply);
  return Fail(abandoned ? kReplyAbandoned : kTerminatedWhileProcessing);
}

bool WorkerReleased() {
  return t_commands != nullptr && t_commands->ProducersGone();
}

bool ReadShouldEnd() {
  if (t_shared == nullptr) return false;
  const uint64_t through = t_shared->end_reads_through();
  return (t_sequence != 0 && through >= t_sequence) || WorkerReleased();
}

void PauseForRead(Clock::Duration duration) {
  if (t_shared == nullptr) {
    std::this_thread::sleep_for(duration);
    return;
  }
  t_shared->Pause(duration, [] { return ReadShouldEnd(); });
}

void WorkerShared::EndReadsThrough(uint64_t sequence) {
  {
    std::lock_guard lock(mutex_);
    end_reads_through_.store(sequence, std::memory_order_relaxed);
  }
  woken_.notify_all();
}

void WorkerShared::Wake() {
  { std::lock_guard lock(mutex_); }
  woken_.notify_all();
}

void Abandon(WorkerHandle worker) {
  worker.commands_.Reset();
  // The thread may never end: it must not be joined, and what it uses must stay.
  static auto* const abandoned = new std::vector<WorkerHandle>();
  abandoned->push_back(std::move(worker));
}

void Release(WorkerHandle worker) {
  worker.commands_.Reset();
  // A waiting read's pause looks again: nobody waits for its answer now.
  if (worker.shared_) worker.shared_->Wake();
  worker.startup_.reset();
  if (worker.grace_) {
    const Receipt<bool> end = worker.ended_.ReceiveUntil(SteadyClock().Now() + *worker.grace_);
    if (end.status == ReceiveStatus::kTimedOut) {
      if (worker.stuck_) worker.stuck_(*worker.grace_);
      Abandon(std::move(worker));
      return;
    }
  }
  worker.thread_.Join();
}

}  // namespace tarnix::worker
