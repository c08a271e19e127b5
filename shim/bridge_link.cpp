// Starting the bridge on a private pipe, exchanging lines with bounded waits, ending it.
#include "shim/bridge_link.h"

#include <chrono>

namespace tarnix::shim {

using platform::PipeClient;

namespace {

// How long one connection attempt lasts before the process is looked at again.
constexpr uint32_t kAttemptMs = 100;

}  // namespace

Result<BridgeLink> BridgeLink::Start(const std::string& bridge, uint32_t start_ms) {
  Result<platform::PrivatePipeName> name = platform::PrivatePipeName::Make("passthru");
  if (!name) return Fail("no private pipe name: " + name.error().text);
  Result<platform::ChildProcess> process =
      platform::ChildProcess::Spawn(bridge, {name->name()}, {}, {}, platform::ChildConsole::kNone);
  if (!process) return Fail("cannot start the bridge " + bridge + ": " + process.error().text);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(start_ms);
  for (;;) {
    Result<PipeClient> client = PipeClient::Connect(name->name(), kAttemptMs);
    if (client) {
      // Whoever serves the pipe must be the process started here, never one that took it first.
      const Result<uint32_t> server = client->ServerProcessId();
      if (!server || *server != process->id()) {
        return Fail("the pipe of the bridge " + bridge + " is served by another process");
      }
      return BridgeLink(std::move(*name), std::move(*process), std::move(*client));
    }
    if (const std::optional<int> code = process->Wait(0)) {
      return Fail("the bridge " + bridge + " ended with exit code " + std::to_string(*code) +
                  " before it took the connection");
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return Fail("the bridge " + bridge + " took no connection within " +
                  std::to_string(start_ms) + " ms");
    }
  }
}

Result<std::string> BridgeLink::Exchange(const std::string& line, uint32_t wait_ms) {
  if (!alive_) return Fail("the connection to the bridge is closed");
  if (Result<void> written = client_.Write(line); !written) {
    Abandon();
    return Fail("the bridge cannot be reached: " + written.error().text);
  }
  std::string answer;
  Result<PipeClient::LineWait> read = client_.ReadLineWithin(wait_ms, answer);
  if (read && *read == PipeClient::LineWait::kLine) return answer;
  Abandon();
  if (!read) return Fail("the bridge's answer cannot be read: " + read.error().text);
  if (*read == PipeClient::LineWait::kEnd) return Fail("the bridge ended without answering");
  return Fail("the bridge did not answer within " + std::to_string(wait_ms) +
              " ms; its connection is closed");
}

void BridgeLink::Finish(uint32_t wait_ms) {
  client_.Close();
  alive_ = false;
  if (process_) process_->Wait(wait_ms);
  Abandon();
}

void BridgeLink::Abandon() {
  alive_ = false;
  client_.Close();
  if (process_) process_->Release();
  process_.reset();
}

}  // namespace tarnix::shim
