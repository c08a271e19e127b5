// Drives the real tarnix program as a client application does: start it, connect, talk, wait.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "passthru/numbers.h"
#include "platform/pipe_client.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace tarnix::e2e {

/// The path of a program or library that the build puts beside the test program.
std::string BinaryPath(const std::string& file_name);

/// A pipe name of the test's own. On Linux a socket inside `folder` (which only this user may
/// enter), so that it goes with the folder even when the bridge is killed before it could remove
/// it; on Windows a fresh random pipe name.
std::string PipeNameIn(const test_support::TempFolder& folder);

/// Reads a whole file; empty when it does not exist.
std::string ReadFileText(const std::string& path);

/// The lines of `text`, split at line feeds (a last empty piece is dropped).
std::vector<std::string> SplitLines(const std::string& text);

/// One running bridge process and, once connected, its client end.
class Bridge {
 public:
  /// Starts tarnix with `args` (by default a fresh pipe name) and the environment changes `env`.
  /// `program` overrides the tarnix beside the test program (another build's, say).
  explicit Bridge(platform::EnvironmentChanges env = {},
                  std::optional<std::vector<std::string>> args = std::nullopt,
                  const std::string& program = {});
  ~Bridge();

  const std::string& pipe_name() const { return pipe_name_; }

  /// Connects as the client; fails the test when the pipe does not appear in time or its server
  /// is not the process this object started.
  void Connect();

  /// Writes raw bytes.
  void Send(std::string_view bytes);

  /// The next response line; fails the test at the end of the stream.
  std::string ReadLine();

  /// The next response line, or nullopt at the end of the stream.
  std::optional<std::string> ReadLineOrEnd();

  /// Sends one request line and returns its response line.
  std::string Call(std::string_view request);

  /// Closes the client's end of the pipe.
  void Disconnect();

  /// Ends only the client's sending direction; false where the system has no half-close.
  bool FinishSending();

  /// Asks the process to stop (ChildProcess::RequestStop); false where the system cannot.
  bool RequestStop() { return process_ && process_->RequestStop(); }

  /// Waits for the process to end and returns its exit code; fails the test after `timeout_ms`.
  int WaitExit(uint32_t timeout_ms = 20000);

  /// Everything the process wrote to standard error so far.
  std::string ErrorOutput() const;

  /// Waits until standard error holds `text`; false after `timeout_ms`.
  bool WaitForErrorOutput(std::string_view text, uint32_t timeout_ms = 20000) const;

 private:
  // Holds standard error and, on Linux, the socket; removed after the process has ended.
  test_support::TempFolder folder_{"e2e"};
  std::string pipe_name_;
  std::string stderr_path_;
  std::optional<platform::ChildProcess> process_;
  std::optional<platform::PipeClient> client_;
};

/// The pointer width of this build in bits, which the bridge reports as its bitness.
inline constexpr unsigned kBitness = sizeof(void*) * 8;

/// The standard-error lines of a bridge on `pipe_name` whose client connected and then left.
std::vector<std::string> LinesOfASessionTheClientEnded(const std::string& pipe_name);

}  // namespace tarnix::e2e
