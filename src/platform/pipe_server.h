// The server end of the client's pipe: a Windows named pipe, or a Unix-domain socket on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tarnix::platform {

/// A byte stream that the message loop reads requests from. Owns its handle.
class PipeReader {
 public:
  PipeReader(PipeReader&& other) noexcept;
  PipeReader& operator=(PipeReader&& other) noexcept;
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;
  ~PipeReader();

  /// Reads at most `size` bytes into `buffer`, blocking until some arrive. 0 means end of input,
  /// which includes the client having closed its end. Interrupted reads are retried. The error is
  /// the system error text.
  Result<size_t> Read(char* buffer, size_t size);

 private:
  friend class PipeServer;
  explicit PipeReader(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

/// The one pipe instance of this process. Owns its handle and closes it on every path.
class PipeServer {
 public:
  PipeServer(PipeServer&& other) noexcept;
  PipeServer& operator=(PipeServer&& other) noexcept;
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;
  ~PipeServer();

  /// Creates the pipe named `name` (Windows: "\\.\pipe\..."; Linux: a socket path). The error is
  /// the fatal text for the entry to print.
  static Result<PipeServer> Create(const std::string& name);

  /// Blocks until the single client is connected. A client that connected early counts.
  /// No second client can reach this process afterwards.
  Result<void> WaitForClient();

  /// A second handle on the connection, for reading.
  Result<PipeReader> OpenReader();

  /// Writes every byte of `bytes`, blocking. Never raises a signal when the client is gone.
  Result<void> WriteAll(std::string_view bytes);

 private:
  PipeServer(intptr_t listener, intptr_t connection, std::string name)
      : listener_(listener), connection_(connection), name_(std::move(name)) {}
  intptr_t listener_;
  intptr_t connection_;
  std::string name_;
};

}  // namespace tarnix::platform
