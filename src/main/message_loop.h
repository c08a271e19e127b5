// The request/response loop on the control thread: read a line, decode, handle, answer.
#pragma once

#include <functional>
#include <string_view>

#include "common/result.h"
#include "main/line_reader.h"
#include "protocol/request.h"
#include "protocol/response.h"

namespace tarnix::main {

/// Answers one decoded request. May throw: the loop's fault guard catches whatever escapes.
using RequestHandler = std::function<protocol::Outcome(const protocol::Request&)>;

/// Writes every byte of one response line; the error is the system error text.
using ByteSink = std::function<Result<void>(std::string_view)>;

/// Serves lines from `reader` until the end of input, a read failure or a Shutdown request, and
/// returns success then. The error is a failed response write, which is fatal to the process.
Result<void> RunMessageLoop(LineReader& reader, const ByteSink& write,
                            const RequestHandler& handle);

/// Handles one request under the fault guard: an escaping exception becomes code -999.
protocol::Outcome HandleGuarded(const RequestHandler& handle, const protocol::Request& request);

}  // namespace tarnix::main
