// The client end of the bridge's pipe (used by the end-to-end tests and the client tool).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// A connection to a bridge, as a client application makes it.
class PipeClient {
 public:
  // Out of line, for the reason given in unique_handle.h.
  PipeClient(PipeClient&&) noexcept;
  PipeClient& operator=(PipeClient&&) noexcept;
  ~PipeClient();

  /// Connects to the pipe `name`, retrying until it exists or `timeout_ms` has passed.
  static Result<PipeClient> Connect(const std::string& name, uint32_t timeout_ms);

  /// Writes every byte of `bytes`.
  Result<void> Write(std::string_view bytes);

  /// Reads the next line, without its line feed; nullopt at the end of the stream.
  Result<std::optional<std::string>> ReadLine();

  /// Reads at most `size` bytes into `buffer` (what ReadLine already holds first), blocking until
  /// some arrive; 0 at the end of the stream.
  Result<size_t> Read(char* buffer, size_t size);

  /// Closes the client's end; the bridge sees the end of input. Destruction does it too.
  void Close() { handle_.Reset(); }

  /// Ends only the sending direction, so that the bridge sees the end of input while the answer can
  /// still be read. False where the system cannot (Windows named pipes have no half-close).
  bool CloseWrite();

 private:
  explicit PipeClient(SystemHandle handle) : handle_(std::move(handle)) {}

  SystemHandle handle_;
  std::string pending_;  // read, not yet returned
};

/// A pipe name unique to this process and `tag`: "\\.\pipe\tarnix-test-<pid>-<tag>" on Windows,
/// a socket path in the temporary folder on Linux.
std::string UniquePipeName(std::string_view tag);

}  // namespace tarnix::platform
