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

/// A read's answer to the failure `code`: the end of the stream when the other end has gone.
Result<std::optional<size_t>> Ended(DWORD code) {
  if (IsEndOfPipe(code)) return std::optional<size_t>(0);
  return Fail(SystemErrorText(code));
}

}  // namespace

bool IsEndOfPipe(DWORD code) {
  return code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED;
}

SystemHandle TransferEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event == nullptr ? SystemHandle() : Own(event);
}

std::optional<DWORD> TransferAndWait(HANDLE handle, bool write, void* buffer, DWORD size,
                                     DWORD& transferred, const SystemHandle& event) {
  SystemHandle own;
  if (!event.valid()) {
    own = TransferEvent();
    if (!own.valid()) return ::GetLastError();
  }
  OVERLAPPED overlapped{};
  overlapped.hEvent = AsHandle(event.valid() ? event : own);
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

Result<size_t> ReadPipe(const SystemHandle& handle, char* buffer, size_t size,
                        const SystemHandle& event) {
  DWORD got = 0;
  const std::optional<DWORD> failed =
      TransferAndWait(AsHandle(handle), false, buffer, static_cast<DWORD>(size), got, event);
  if (!failed) return size_t{got};
  // The other end closing is the end of the stream, not a failure.
  if (IsEndOfPipe(*failed)) return size_t{0};
  return Fail(SystemErrorText(*failed));
}

Result<void> WritePipe(const SystemHandle& handle, std::string_view bytes,
                       const SystemHandle& event) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const std::optional<DWORD> failed =
        TransferAndWait(AsHandle(handle), true, const_cast<char*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()), written, event);
    if (failed) return Fail(SystemErrorText(*failed));
    bytes.remove_prefix(written);
  }
  return Ok();
}

Result<std::optional<size_t>> ReadPipeWithin(const SystemHandle& handle, char* buffer, size_t size,
                                             uint32_t timeout_ms, const SystemHandle& event) {
  HANDLE pipe = AsHandle(handle);
  SystemHandle own;
  if (!event.valid()) {
    own = TransferEvent();
    if (!own.valid()) return Fail(SystemErrorText(::GetLastError()));
  }
  OVERLAPPED overlapped{};
  overlapped.hEvent = AsHandle(event.valid() ? event : own);
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

}  // namespace tarnix::platform
