// Both ends of the client's pipe on Windows: a byte-mode named pipe instance, opened for
// overlapped I/O at both ends (so that a wait can also watch a wake-up or end in time); every call
// here passes an OVERLAPPED and waits for it, which also serves a handle opened without.
#include <windows.h>

#include "platform/pipe_io.h"
#include "platform/pipe_io_win32.h"
#include "platform/system_error.h"
#include "platform/win32_handle.h"

namespace tarnix::platform {
namespace {

/// One event per thread for its reads and writes, made on first use and kept.
HANDLE ThreadEvent() {
  struct Holder {
    Holder() : event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Holder() {
      if (event != nullptr) ::CloseHandle(event);
    }
    HANDLE event;
  };
  thread_local Holder holder;
  return holder.event;
}

/// A read's answer to the failure `code`: the end of the stream when the other end has gone.
Result<std::optional<size_t>> Ended(DWORD code) {
  if (IsEndOfPipe(code)) return std::optional<size_t>(0);
  return Fail(SystemErrorText(code));
}

Result<size_t> Read(HANDLE pipe, char* buffer, size_t size, HANDLE event) {
  DWORD got = 0;
  const std::optional<DWORD> failed =
      TransferAndWait(pipe, false, buffer, static_cast<DWORD>(size), got, event);
  if (!failed) return size_t{got};
  // The other end closing is the end of the stream, not a failure.
  if (IsEndOfPipe(*failed)) return size_t{0};
  return Fail(SystemErrorText(*failed));
}

Result<void> Write(HANDLE pipe, std::string_view bytes, HANDLE event) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const std::optional<DWORD> failed =
        TransferAndWait(pipe, true, const_cast<char*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()), written, event);
    if (failed) return Fail(SystemErrorText(*failed));
    bytes.remove_prefix(written);
  }
  return Ok();
}

}  // namespace

bool IsEndOfPipe(DWORD code) {
  return code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED;
}

std::optional<DWORD> TransferAndWait(HANDLE handle, bool write, void* buffer, DWORD size,
                                     DWORD& transferred, HANDLE event) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  if (overlapped.hEvent == nullptr) return ::GetLastError();
  ::ResetEvent(overlapped.hEvent);
  const BOOL done = write ? ::WriteFile(handle, buffer, size, nullptr, &overlapped)
                          : ::ReadFile(handle, buffer, size, nullptr, &overlapped);
  if (!done && ::GetLastError() != ERROR_IO_PENDING) return ::GetLastError();
  // A transfer that finished at once (always, on a handle without overlapped I/O) needs no wait.
  if (!::GetOverlappedResult(handle, &overlapped, &transferred, done ? FALSE : TRUE)) {
    return ::GetLastError();
  }
  return std::nullopt;
}

Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size) {
  return Read(AsHandle(handle), buffer, size, ThreadEvent());
}

Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes) {
  return Write(AsHandle(handle), bytes, ThreadEvent());
}

Result<SystemHandle> MakePipeEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return Fail(SystemErrorText(::GetLastError()));
  return Own(event);
}

Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size,
                        const SystemHandle& event) {
  return Read(AsHandle(handle), buffer, size, AsHandle(event));
}

Result<std::optional<size_t>> ReadPipeWithin(const SystemHandle& handle, char* buffer, size_t size,
                                             uint32_t timeout_ms, const SystemHandle& event) {
  HANDLE pipe = AsHandle(handle);
  OVERLAPPED overlapped{};
  overlapped.hEvent = AsHandle(event);
  ::ResetEvent(overlapped.hEvent);
  if (!::ReadFile(pipe, buffer, static_cast<DWORD>(size), nullptr, &overlapped)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_IO_PENDING) return Ended(code);
    const DWORD wait = timeout_ms >= INFINITE ? INFINITE - 1 : timeout_ms;
    // A read that nothing ends in time is cancelled; what arrived meanwhile still counts.
    if (::WaitForSingleObject(overlapped.hEvent, wait) != WAIT_OBJECT_0) {
      ::CancelIoEx(pipe, &overlapped);
    }
  }
  DWORD got = 0;
  if (!::GetOverlappedResult(pipe, &overlapped, &got, TRUE)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_OPERATION_ABORTED) return std::optional<size_t>();
    return Ended(code);
  }
  return std::optional<size_t>(got);
}

Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes,
                       const SystemHandle& event) {
  return Write(AsHandle(handle), bytes, AsHandle(event));
}

}  // namespace tarnix::platform
