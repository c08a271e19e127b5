// The client end of the bridge's pipe (used by the end-to-end tests and the client tool).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.h"
#include "platform/pipe_io.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// A connection to a bridge, as a client application makes it.
class PipeClient {
 public:
  // Out of line, for the reason given in unique_handle.h.
  PipeClient(PipeClient&&) noexcept;
  PipeClient& operator=(PipeClient&&) noexcept;
  ~PipeClient();

  /// Connects to the pipe `name`, retrying until it exists or `timeout_ms` has passed. On Windows
  /// the server may learn who connected but never act as this client (SECURITY_IDENTIFICATION).
  static Result<PipeClient> Connect(const std::string& name, uint32_t timeout_ms);

  /// The process id of the pipe's server (SO_PEERCRED; GetNamedPipeServerProcessId): a client
  /// that started the bridge checks that it reached that process and no other.
  Result<uint32_t> ServerProcessId() const;

  /// Writes every byte of `bytes`.
  Result<void> Write(std::string_view bytes);

  /// Reads the next line, without its line feed; nullopt at the end of the stream.
  Result<std::optional<std::string>> ReadLine();

  /// What ReadLineWithin found.
  enum class LineWait { kLine, kEnd, kTimedOut };

  /// Reads the next line into `line` as ReadLine does, giving up when no line has ended within
  /// `timeout_ms`: kTimedOut then, and what arrived of the line is kept for the next read.
  Result<LineWait> ReadLineWithin(uint32_t timeout_ms, std::string& line);

  /// Reads at most `size` bytes into `buffer` (what ReadLine already holds first), blocking until
  /// some arrive; 0 at the end of the stream.
  Result<size_t> Read(char* buffer, size_t size);

  /// Closes the client's end; the bridge sees the end of input. Destruction does it too. Never
  /// waits, so that it may run while a library is being unloaded.
  void Close() { handle_.Reset(); }

  /// Ends only the sending direction, so that the bridge sees the end of input while the answer can
  /// still be read. False where the system cannot (Windows named pipes have no half-close).
  bool CloseWrite();

 private:
  PipeClient(SystemHandle handle, SystemHandle read_event, SystemHandle write_event)
      : handle_(std::move(handle)),
        read_event_(std::move(read_event)),
        write_event_(std::move(write_event)) {}
  /// The client of the connected `handle`, with the wait objects of its own transfers.
  static Result<PipeClient> Adopt(SystemHandle handle);
  /// Moves the first whole line read so far into `line`; false while none has ended.
  bool TakeLine(std::string& line);

  SystemHandle handle_;
  // One event for each direction (see TransferEvent), kept with the pipe rather than the thread,
  // so that a library using it leaves nothing behind when unloaded; a read may wait while
  // another thread writes.
  SystemHandle read_event_;
  SystemHandle write_event_;
  std::string pending_;  // read, not yet returned
};

/// A pipe name that nobody else can guess or take first, `tag` in it for people. Linux:
/// "tarnix.sock" in a fresh folder below the temporary folder that only this user may enter
/// (mkdtemp, mode 0700), removed with this object together with a socket left in it. Windows:
/// "\\.\pipe\tarnix-<tag>-" and 16 random hexadecimal digits.
class PrivatePipeName {
 public:
  static Result<PrivatePipeName> Make(std::string_view tag);
  PrivatePipeName(PrivatePipeName&& other) noexcept
      : name_(std::move(other.name_)), folder_(std::exchange(other.folder_, {})) {}
  PrivatePipeName& operator=(PrivatePipeName&&) = delete;
  ~PrivatePipeName();

  const std::string& name() const { return name_; }

 private:
  PrivatePipeName(std::string name, std::string folder)
      : name_(std::move(name)), folder_(std::move(folder)) {}
  std::string name_;
  std::string folder_;  // Linux: the folder to remove; empty when there is none
};

}  // namespace tarnix::platform
