// One request at a time: decode, log, handle under the fault guard, write, and stop on Shutdown.
#include "main/message_loop.h"

#include <exception>
#include <string>

#include "log/log.h"
#include "main/verbose.h"

namespace tarnix::main {
namespace {

Result<void> WriteLine(const ByteSink& write, const protocol::Response& response) {
  std::string text = protocol::EncodeResponse(response);
  text.push_back('\n');
  return write(text);
}

}  // namespace

protocol::Outcome HandleGuarded(const RequestHandler& handle, const protocol::Request& request) {
  std::string description;
  try {
    return handle(request);
  } catch (const std::exception& fault) {
    description = fault.what();
  } catch (...) {
    description = "Unknown panic";
  }
  LogLine("[bridge] PANIC while handling request: " + description);
  return protocol::Failure{-999, "J2534 DLL caused panic: " + description};
}

Result<void> RunMessageLoop(LineReader& reader, const ByteSink& write,
                            const RequestHandler& handle) {
  for (;;) {
    Result<std::optional<RawLine>> next = reader.Next();
    if (!next) {
      LogLine("[bridge] Read error: " + next.error().text);
      return Ok();
    }
    if (!*next) return Ok();
    const std::string_view text = RequestText(**next);
    if (text.empty()) continue;

    Result<protocol::Message> message = protocol::DecodeMessage(text);
    if (!message) {
      LogLine("[bridge] Parse error: " + message.error().text);
      const protocol::Response response{
          0, protocol::RequestFailed("Parse error: " + message.error().text)};
      if (Result<void> written = WriteLine(write, response); !written) return written;
      continue;
    }
    if (Verbose()) {
      LogLine("[bridge] Request " + std::to_string(message->id) + ": " +
              protocol::RenderRequest(message->request));
    }
    const protocol::Response response{message->id, HandleGuarded(handle, message->request)};
    if (Result<void> written = WriteLine(write, response); !written) return written;
    if (std::holds_alternative<protocol::Shutdown>(message->request)) {
      LogLine("[bridge] Shutdown requested");
      return Ok();
    }
  }
}

}  // namespace tarnix::main
