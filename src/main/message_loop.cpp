// One request at a time: read, decode, log, handle, write, each under the fault guard, and stop on
// Shutdown, at the end of input or when the client went away.
#include "main/message_loop.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "log/log.h"
#include "main/verbose.h"

namespace tarnix::main {
namespace {

/// What the loop does after a line: go on, or end (successfully).
using LineResult = Result<bool>;

/// The description of the fault being handled; only inside a catch block.
std::string CurrentFault() {
  try {
    throw;
  } catch (const std::exception& fault) {
    return fault.what();
  } catch (...) {
    return "Unknown panic";
  }
}

/// Logs the PANIC line and builds the answer of a caught fault.
protocol::Failure Panic(const std::string& description) {
  LogLine("[bridge] PANIC while handling request: " + description);
  return protocol::Failure{-999, "J2534 DLL caused panic: " + description};
}

/// The loop's view of the watch: remembers whether a request was abandoned.
class LatchingWatch final : public worker::ReplyWatch {
 public:
  explicit LatchingWatch(worker::ReplyWatch& inner) : inner_(inner) {}
  std::function<void()> Notifier() override { return inner_.Notifier(); }
  void Wait(std::chrono::milliseconds limit) override { inner_.Wait(limit); }
  bool Abandon() override {
    if (!abandoned_) abandoned_ = inner_.Abandon();
    return abandoned_;
  }
  bool NextRequestBegun() override { return inner_.NextRequestBegun(); }
  bool abandoned() const { return abandoned_; }

 private:
  worker::ReplyWatch& inner_;
  bool abandoned_ = false;
};

class Loop {
 public:
  Loop(LineReader& reader, const ByteSink& write, const RequestHandler& handle,
       const LoopOptions& options)
      : reader_(reader), write_(write), handle_(handle), options_(options) {
    if (options.watch != nullptr) watch_.emplace(*options.watch);
  }

  LineResult ServeLine();

 private:
  void Enter(LineStage stage) const {
    if (options_.entering) options_.entering(stage);
  }
  /// The request of `text`, or nullopt when the line was answered here (parse error, fault).
  std::optional<protocol::Message> Decode(std::string_view text, Result<void>& written);
  /// Writes one answer. A fault while encoding it is answered with -999 instead, unless part of
  /// the line already went out: that is fatal, as a failed write is.
  Result<void> Answer(protocol::Response response);
  bool StopRequested() const { return options_.stop_requested && options_.stop_requested(); }

  LineReader& reader_;
  const ByteSink& write_;
  const RequestHandler& handle_;
  const LoopOptions& options_;
  protocol::ResponseStream answers_;
  std::optional<LatchingWatch> watch_;
};

LineResult Answered(Result<void> written) {
  if (!written) return std::move(written).error();
  return true;
}

LineResult Loop::ServeLine() {
  std::optional<Result<std::optional<LineView>>> next;
  try {
    next.emplace(reader_.Next());
  } catch (...) {
    const std::string fault = CurrentFault();
    reader_.SkipLine();
    return Answered(Answer({0, Panic(fault)}));
  }
  if (!next->ok()) {
    if (!StopRequested()) LogLine("[bridge] Read error: " + next->error().text);
    return false;
  }
  if (!next->value()) return false;
  const std::string_view text = RequestText(*next->value());
  if (text.empty()) return true;

  Result<void> written = Ok();
  std::optional<protocol::Message> message = Decode(text, written);
  if (!message) return Answered(std::move(written));
  const bool shutdown = std::holds_alternative<protocol::Shutdown>(message->request);
  protocol::Outcome outcome =
      HandleGuarded(handle_, std::move(message->request), watch_ ? &*watch_ : nullptr);
  // Nobody is left to read the answer (or the bridge must stop); the loop ends as when the client
  // leaves between requests.
  if (watch_ && watch_->abandoned()) return false;
  if (Result<void> sent = Answer({message->id, std::move(outcome)}); !sent) return sent.error();
  if (shutdown) {
    LogLine("[bridge] Shutdown requested");
    return false;
  }
  return !StopRequested();
}

std::optional<protocol::Message> Loop::Decode(std::string_view text, Result<void>& written) {
  uint64_t id = 0;
  try {
    Enter(LineStage::kDecode);
    Result<protocol::Message> message = protocol::DecodeMessage(text);
    // The request holds what it needs; a long line's text is not kept while it is handled.
    reader_.ReleaseLine();
    if (!message) {
      LogLine("[bridge] Parse error: " + message.error().text);
      written = Answer({0, protocol::RequestFailed("Parse error: " + message.error().text)});
      return std::nullopt;
    }
    id = message->id;
    if (Verbose()) {
      LogLine("[bridge] Request " + std::to_string(id) + ": " +
              protocol::RenderRequest(message->request));
    }
    return std::move(message).value();
  } catch (...) {
    const std::string fault = CurrentFault();
    written = Answer({id, Panic(fault)});
    return std::nullopt;
  }
}

Result<void> Loop::Answer(protocol::Response response) {
  bool writing = false;
  try {
    Enter(LineStage::kEncode);
    writing = true;
    return answers_.WriteLine(response, write_);
  } catch (...) {
    const std::string fault = CurrentFault();
    if (writing && answers_.PartlySent()) {
      LogLine("[bridge] PANIC while handling request: " + fault);
      return Fail("answer cut short: " + fault);
    }
    response.outcome = Panic(fault);
  }
  return answers_.WriteLine(response, write_);
}

}  // namespace

protocol::Outcome HandleGuarded(const RequestHandler& handle, protocol::Request request,
                                worker::ReplyWatch* watch) {
  try {
    return handle(std::move(request), watch);
  } catch (...) {
    return Panic(CurrentFault());
  }
}

Result<void> RunMessageLoop(LineReader& reader, const ByteSink& write, const RequestHandler& handle,
                            const LoopOptions& options) {
  Loop loop(reader, write, handle, options);
  for (;;) {
    LineResult served = loop.ServeLine();
    if (!served) return std::move(served).error();
    if (!*served) return Ok();
  }
}

}  // namespace tarnix::main
