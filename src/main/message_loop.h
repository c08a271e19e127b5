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

namespace tarnix::main {

/// Asked while a request waits for the worker: true once the client is gone (its end of the pipe
/// closed, broken or failing), so that the wait can end early.
using ClientGone = std::function<bool()>;

/// Answers one decoded request, which it may consume; may poll `client_gone` while it waits. May
/// throw: the loop's fault guard catches whatever escapes.
using RequestHandler =
    std::function<protocol::Outcome(protocol::Request&& request, const ClientGone& client_gone)>;

/// Writes every byte of one piece of a response line; the error is the system error text.
using ByteSink = protocol::TextSink;

/// The stages of a line, as a test hook sees them.
enum class LineStage { kDecode, kEncode };

/// What the loop needs besides its input, output and handler.
struct LoopOptions {
  /// Whether the client is gone; checked only while a request waits (empty: never gone).
  ClientGone client_gone;
  /// A test hook called as each line enters a stage; it may throw to stand for a failure there.
  std::function<void(LineStage)> entering;
};

/// Serves lines from `reader` until the end of input, a read failure, a Shutdown request or a
/// client found gone while a request waited (then without answering it), and returns success
/// then. Reading, decoding, handling and encoding of each line run under the fault guard: a fault
/// answers that line with code -999 (id 0 when the line was not decoded) and the loop goes on.
/// The error is a failed response write, or a fault after part of an answer went out; either is
/// fatal to the process.
Result<void> RunMessageLoop(LineReader& reader, const ByteSink& write, const RequestHandler& handle,
                            const LoopOptions& options = {});

/// Handles one request under the fault guard: an escaping exception becomes code -999.
protocol::Outcome HandleGuarded(const RequestHandler& handle, protocol::Request request,
                                const ClientGone& client_gone = {});

}  // namespace tarnix::main
