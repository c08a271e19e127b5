// The benchmark's client: one connection that sends request lines and reads answers at full speed,
// and the bridge under measurement, started against ptsim.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "platform/pipe_client.h"
#include "platform/process.h"

namespace tarnix::bench {

/// A client connection that reads answers straight from a large buffer, counting the frames in
/// each without keeping it. The bridge and every yardstick are read through the same code.
class BenchClient {
 public:
  explicit BenchClient(platform::PipeClient pipe);

  /// Sends `request` (a whole line with its line feed) and reads its answer line. Answers the
  /// number of frames in it (the objects inside the envelope; 0 for a non-frame answer). `keep`
  /// receives the answer with its line feed when given.
  Result<size_t> Call(std::string_view request, std::string* keep = nullptr);

  /// Sends `request` (a whole line) without waiting for its answer.
  Result<void> Send(std::string_view request) { return pipe_.Write(request); }

  /// Reads the next answer line, as Call does after sending.
  Result<size_t> ReadAnswer(std::string* keep = nullptr);

  void Close() { pipe_.Close(); }

 private:
  platform::PipeClient pipe_;
  std::vector<char> buffer_;
  size_t start_ = 0;  // unread bytes are [start_, end_)
  size_t end_ = 0;
};

/// Connects to the pipe `name`, as soon as it exists.
Result<BenchClient> ConnectTo(const std::string& name);

/// The environment of a bridge under measurement: every PTSIM_ and TARNIX_ control cleared, then
/// `traffic` as PTSIM_TRAFFIC when not empty.
platform::EnvironmentChanges BridgeEnvironment(const std::string& traffic);

/// A tarnix process with ptsim opened on ISO 15765 at 500 kbit/s, and its client.
class BridgeUnderTest {
 public:
  /// Starts `program` on a fresh pipe with `env`, connects, and opens the library `ptsim` with
  /// the Open parameters `channel` after its path (by default its ISO 15765 channel; empty: the
  /// device alone).
  static Result<BridgeUnderTest> Start(const std::string& program, const std::string& ptsim,
                                       const platform::EnvironmentChanges& env,
                                       std::string_view channel = kIso15765Channel);
  static constexpr std::string_view kIso15765Channel = R"(,"protocol_id":6,"baud_rate":500000)";
  BridgeUnderTest(BridgeUnderTest&&) = default;
  ~BridgeUnderTest();

  BenchClient& client() { return *client_; }
  std::optional<platform::ProcessUsage> Usage() const { return process_.Usage(); }

 private:
  BridgeUnderTest(platform::ChildProcess process, BenchClient client)
      : process_(std::move(process)), client_(std::move(client)) {}

  platform::ChildProcess process_;
  std::optional<BenchClient> client_;
};

}  // namespace tarnix::bench
