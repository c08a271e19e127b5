// The server end of the client's pipe: a Windows named pipe, or a Unix-domain socket on Linux.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.h"
#include "platform/unique_handle.h"
#include "platform/wakeup.h"

namespace tarnix::platform {

/// What a wait for input found.
enum class InputWait {
  kInput,     ///< a Read would not block: bytes, the end of the stream, or an error
  kWoken,     ///< the wake-up was raised (and is lowered again)
  kTimedOut,  ///< neither, within the time given
};

/// A byte stream that the message loop reads requests from. Owns its handle.
class PipeReader {
 public:
  // Out of line, for the reason given in unique_handle.h.
  PipeReader(PipeReader&&) noexcept;
  PipeReader& operator=(PipeReader&&) noexcept;
  ~PipeReader();

  /// Reads at most `size` bytes into `buffer`, blocking until some arrive. 0 means end of input,
  /// which includes the client having closed its end. Interrupted reads are retried. The error is
  /// the system error text.
  Result<size_t> Read(char* buffer, size_t size);

  /// Waits until a Read would not block, `wakeup` is raised or `timeout` passes (nullopt: no
  /// limit). Reads nothing that Read would not hand out next.
  InputWait WaitForInput(const Wakeup& wakeup, std::optional<std::chrono::milliseconds> timeout);

  /// Whether the client is gone, asked without reading and without blocking: its end is closed,
  /// broken or failing. A client that only ended its sending direction (a half-close, where the
  /// system has one) is still there to read answers, and bytes it sent stay unread.
  bool PeerGone() const;

 private:
  friend class PipeServer;
  /// A read in progress (Windows, where waiting for input means starting the read), per system.
  struct Pending;
  explicit PipeReader(SystemHandle handle);
  SystemHandle handle_;
  std::unique_ptr<Pending> pending_;
};

/// The error text of a wait ended by a stop request.
inline constexpr char kStopRequested[] = "stop requested";

/// The one pipe instance of this process. Owns its handles and closes them on every path.
class PipeServer {
 public:
  PipeServer(PipeServer&&) noexcept = default;
  PipeServer& operator=(PipeServer&&) = delete;
  ~PipeServer();

  /// Creates the pipe named `name` (Windows: "\\.\pipe\..."; Linux: a socket path). The error is
  /// the fatal text for the entry to print.
  static Result<PipeServer> Create(const std::string& name);

  /// Blocks until the single client is connected. A client that connected early counts.
  /// No second client can reach this process afterwards. With `stop`, a raised wake-up that comes
  /// with a stop request (StopRequest) ends the wait with the error kStopRequested.
  Result<void> WaitForClient(const Wakeup* stop = nullptr);

  /// A second handle on the connection, for reading.
  Result<PipeReader> OpenReader();

  /// Writes every byte of `bytes`, blocking. Never raises a signal when the client is gone.
  Result<void> WriteAll(std::string_view bytes);

 private:
  PipeServer(SystemHandle listener, std::string name)
      : listener_(std::move(listener)), name_(std::move(name)) {}

  /// Create for a name without nul bytes.
  static Result<PipeServer> CreateNamed(const std::string& name);

  SystemHandle listener_;    // until the client is connected
  SystemHandle connection_;  // from then on
  std::string name_;
};

}  // namespace tarnix::platform
