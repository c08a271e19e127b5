// The server end of the client's pipe: a Windows named pipe, or a Unix-domain socket on Linux.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.h"
#include "platform/pipe_io.h"
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

  /// Creates the pipe named `name`, reachable by this user alone. The error is the fatal text for
  /// the entry to print.
  /// - Windows ("\\.\pipe\..."): the name's first and only instance, whose security descriptor
  ///   grants access to this process's user and LocalSystem only. A name that another process
  ///   created first fails as a busy pipe does, also where the system ignores the first-instance
  ///   flag.
  /// - Linux (a socket path, not empty): the socket gets mode 0600 whatever the umask, which is
  ///   narrowed for the moment of binding (what other threads create at that moment gets no more).
  static Result<PipeServer> Create(const std::string& name);

  /// Tells why a client was turned away, for one line of the log.
  using RefusalReport = std::function<void(const std::string& reason)>;

  /// Blocks until the single client is connected. A client that connected early counts.
  /// A client of another user (Linux: its uid is neither this process's effective uid nor root's;
  /// Windows: its process's token user is neither this process's nor LocalSystem) is disconnected
  /// and reported to `refused`, and the wait goes on. No second client can reach this process
  /// afterwards; on Linux the socket made by Create is removed then, and no other file. With
  /// `stop`, a raised wake-up that comes with a stop request (StopRequest) ends the wait with the
  /// error kStopRequested.
  Result<void> WaitForClient(const RefusalReport& refused = {}, const Wakeup* stop = nullptr);

  /// A second handle on the connection, for reading.
  Result<PipeReader> OpenReader();

  /// Writes every byte of `bytes`, blocking. Never raises a signal when the client is gone.
  Result<void> WriteAll(std::string_view bytes);

 private:
  PipeServer(SystemHandle listener, std::string name)
      : listener_(std::move(listener)), name_(std::move(name)) {}

  /// Create for a name without nul bytes.
  static Result<PipeServer> CreateNamed(const std::string& name);

  /// Why the client on `connection` may not be served; nullopt when it may.
  static std::optional<std::string> Stranger(const SystemHandle& connection);

  /// Linux: removes the socket made by Create, if it is still in its folder.
  void RemoveSocket();

  SystemHandle listener_;                          // until the client is connected
  SystemHandle connection_;                        // from then on
  SystemHandle transfer_event_ = TransferEvent();  // for WriteAll
  std::string name_;
  // Linux: the socket's folder, held open so that removal finds it even when it is renamed, and
  // the socket's name and identity (device, inode) in it.
  SystemHandle folder_;
  std::string socket_file_;
  uint64_t socket_device_ = 0;
  uint64_t socket_inode_ = 0;
};

}  // namespace tarnix::platform
