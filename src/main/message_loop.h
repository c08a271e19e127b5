// The request/response loop on the control thread: read a line, decode, handle, answer.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "main/line_reader.h"
#include "protocol/request.h"
#include "protocol/response.h"
#include "protocol/response_stream.h"
#include "worker/worker.h"

namespace tarnix::main {

/// Answers one decoded request, which it may consume; while it waits for the worker it watches
/// `watch` (null: it waits without watching). May throw: the loop's fault guard catches whatever
/// escapes.
using RequestHandler =
    std::function<protocol::Outcome(protocol::Request&& request, worker::ReplyWatch* watch)>;

/// Writes every byte of one piece of a response line; the error is the system error text.
using ByteSink = protocol::TextSink;

/// The stages of a line, as a test hook sees them.
enum class LineStage { kDecode, kEncode };

/// What the loop needs besides its input, output and handler.
struct LoopOptions {
  /// What a request watches while it waits (null: nothing): once its Abandon answered true, the
  /// request goes unanswered and the loop ends.
  worker::ReplyWatch* watch = nullptr;
  /// Whether the bridge was asked to stop (empty: never): the loop then ends after the line it
  /// serves, and a read that failed for that reason ends it without a log line.
  std::function<bool()> stop_requested;
  /// A test hook called as each line enters a stage; it may throw to stand for a failure there.
  std::function<void(LineStage)> entering;
};

/// Serves lines from `reader` until the end of input, a read failure, a Shutdown request, a stop
/// request, or a request abandoned while it waited (the client gone; then without answering it),
/// and returns success then. Reading, decoding, handling and encoding of each line run under the
/// fault guard: a fault answers that line with code -999 (id 0 when the line was not decoded) and
/// the loop goes on. The error is a failed response write, or a fault after part of an answer went
/// out; either is fatal to the process.
Result<void> RunMessageLoop(LineReader& reader, const ByteSink& write, const RequestHandler& handle,
                            const LoopOptions& options = {});

/// Handles one request under the fault guard: an escaping exception becomes code -999.
protocol::Outcome HandleGuarded(const RequestHandler& handle, protocol::Request request,
                                worker::ReplyWatch* watch = nullptr);

}  // namespace tarnix::main
