// The forwarding library's bridge: started on a private pipe, checked, talked to, ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/result.h"
#include "platform/pipe_client.h"
#include "platform/process.h"

namespace tarnix::shim {

/// One bridge process and the connection to it. Nothing here waits without a bound: a bridge
/// whose library call never returns is given up on, never waited for.
class BridgeLink {
 public:
  BridgeLink(BridgeLink&&) = default;
  BridgeLink& operator=(BridgeLink&&) = delete;
  /// Lets go as Abandon does.
  ~BridgeLink() { Abandon(); }

  /// Starts the bridge program `bridge` on a pipe name nobody can guess, with no console window
  /// of its own, and connects to it within `start_ms`. Fails when the program cannot be started,
  /// ends before it takes the connection, does not take it in time, or when the pipe's server is
  /// not the process started.
  static Result<BridgeLink> Start(const std::string& bridge, uint32_t start_ms);

  /// Writes `line` (a whole request, its line feed included) and reads the answer line, waiting
  /// at most `wait_ms`. Any failure (the pipe broken, the bridge gone, no answer in time) leaves
  /// the link unusable: alive() turns false.
  Result<std::string> Exchange(const std::string& line, uint32_t wait_ms);

  bool alive() const { return alive_; }

  /// After the bridge has answered a Shutdown: closes the pipe and waits at most `wait_ms` for the
  /// process to end, then lets go of it either way.
  void Finish(uint32_t wait_ms);

  /// Closes the pipe and lets go of the process, without waiting: the bridge sees its client gone,
  /// releases the adapter and ends by itself. Safe while the library is being unloaded.
  void Abandon();

 private:
  BridgeLink(platform::PrivatePipeName name, platform::ChildProcess process,
             platform::PipeClient client)
      : name_(std::move(name)), process_(std::move(process)), client_(std::move(client)) {}

  platform::PrivatePipeName name_;  // removes the private folder on Linux, last
  std::optional<platform::ChildProcess> process_;
  platform::PipeClient client_;
  bool alive_ = true;
};

}  // namespace tarnix::shim
