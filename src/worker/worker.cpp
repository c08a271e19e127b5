// The worker thread's life: build the session, report start-up, serve commands, release in order.
#include "worker/worker.h"

#include <utility>

#include "worker/routing.h"

namespace tarnix::worker {
namespace {

/// The one start-up report: success, or the text of the failure.
using StartupMessage = Result<void>;

/// What the worker thread owns from its first instruction on.
struct WorkerEnds {
  SessionFactory factory;
  Sender<StartupMessage> startup;
  Receiver<Command> commands;
};

/// Answers one command on its reply channel; true when the worker must leave its loop. The
/// command (request and reply side) is released before this returns.
bool Execute(Session& session, Command command) {
  const AnsweredBy who = WhoAnswers(command.request);
  protocol::Outcome outcome;
  switch (who) {
    case AnsweredBy::kControlThread:
    case AnsweredBy::kWorkerStart:
      outcome = protocol::RequestFailed(kControlThreadOnly);
      break;
    case AnsweredBy::kWorkerEnd:
      outcome = protocol::Payload();
      break;
    case AnsweredBy::kSession:
      outcome = session.Execute(command.request);
      break;
  }
  // A control thread that stopped listening is not the worker's concern.
  static_cast<void>(command.reply.Send(std::move(outcome)));
  return who == AnsweredBy::kWorkerEnd;
}

/// The command channel of the worker running on this thread, for WorkerReleased().
thread_local const Receiver<Command>* t_commands = nullptr;

/// Serves commands until Close or Shutdown is answered or the command channel closes, pumping
/// after every other command and whenever a poll interval passes without one.
void Serve(Session& session, Receiver<Command>& commands) {
  const Milliseconds interval = session.PollInterval();
  t_commands = &commands;
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

/// The thread body. Release order on every path: the session (the connection inside it), then
/// the start-up producer side, then the command consumer side.
void RunWorker(WorkerEnds ends) {
  Receiver<Command> commands = std::move(ends.commands);
  Sender<StartupMessage> startup = std::move(ends.startup);
  try {
    Result<std::unique_ptr<Session>> session = ends.factory();
    ends.factory = nullptr;
    if (!session.ok()) {
      static_cast<void>(startup.Send(Fail(std::move(session).error().text)));
      return;
    }
    static_cast<void>(startup.Send(Ok()));
    Serve(*session.value(), commands);
  } catch (...) {
    // A fault ends the worker without an answer: unwinding has already released the session, and
    // the closed channels tell the control thread what happened.
  }
}

}  // namespace

std::optional<Clock::TimePoint> DeadlineAfter(Clock::TimePoint now, Milliseconds interval) {
  // The steady clock counts up from a non-negative origin, so the room left is never negative.
  const auto room = std::chrono::duration_cast<Milliseconds>(Clock::TimePoint::max() - now);
  if (interval > room) return std::nullopt;
  return now + std::chrono::duration_cast<Clock::Duration>(interval);
}

Result<WorkerHandle> StartWorker(SessionFactory factory, const WorkerOptions& options) {
  auto [command_sender, command_receiver] = MakeChannel<Command>(kUnbounded);
  auto [startup_sender, startup_receiver] = MakeChannel<StartupMessage>(1);
  // The thread body must be copyable; the ends it owns move out of this box on its first line.
  auto ends = std::make_shared<WorkerEnds>(
      WorkerEnds{std::move(factory), std::move(startup_sender), std::move(command_receiver)});
  Result<platform::Thread> thread = platform::Thread::Start(
      options.thread_name, options.stack_bytes, [ends] { RunWorker(std::move(*ends)); });
  if (!thread.ok()) return Fail(kFailedToStart + thread.error().text);
  ends.reset();

  std::optional<StartupMessage> startup = startup_receiver.Receive();
  if (startup && startup->ok()) {
    return WorkerHandle(std::move(command_sender), std::move(thread).value());
  }
  thread->Join();
  if (!startup) return Fail(kTerminatedBeforeStartup);
  return Fail(std::move(*startup).error().text);
}

Result<protocol::Outcome> Exchange(WorkerHandle& worker, protocol::Request request,
                                   const std::function<bool()>& abandon) {
  auto [reply_sender, reply_receiver] = MakeChannel<protocol::Outcome>(1);
  if (!worker.commands_.Send(Command{std::move(request), std::move(reply_sender)})) {
    return Fail(kCommandChannelClosed);
  }
  for (;;) {
    std::optional<Clock::TimePoint> deadline;
    if (abandon) deadline = SteadyClock().Now() + kAbandonCheckInterval;
    Receipt<protocol::Outcome> reply = reply_receiver.ReceiveUntil(deadline);
    if (reply.status == ReceiveStatus::kMessage) return std::move(*reply.message);
    if (reply.status == ReceiveStatus::kClosed) return Fail(kTerminatedWhileProcessing);
    if (abandon()) return Fail(kReplyAbandoned);
  }
}

bool WorkerReleased() {
  return t_commands != nullptr && t_commands->ProducersGone();
}

void Release(WorkerHandle worker) {
  worker.commands_.Reset();
  worker.thread_.Join();
}

}  // namespace tarnix::worker
