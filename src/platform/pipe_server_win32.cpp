// The client's pipe on Windows: the one instance of a local byte-mode named pipe, for this user
// alone, opened for overlapped I/O so that waiting for the client or for input also watches a
// wake-up.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "platform/pipe_io.h"
#include "platform/pipe_io_win32.h"
#include "platform/pipe_server.h"
#include "platform/stop_request.h"
#include "platform/system_error.h"
#include "platform/win32_handle.h"
#include "platform/win32_security.h"

namespace tarnix::platform {
namespace {

// The creation failure as the system words it, with the error as an HRESULT: "... (0x800700E7)".
std::string CreationErrorText(DWORD code) {
  const DWORD hresult = code == 0 ? 0 : (0x80070000u | (code & 0xFFFFu));
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(hresult));
  const std::string message = SystemMessage(code);
  return message.empty() ? std::string(hex) : message + " (" + hex + ")";
}

/// A manual-reset event for one overlapped operation.
SystemHandle NewEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event == nullptr ? SystemHandle() : Own(event);
}

/// Cancels the overlapped operation `overlapped` on `handle` and waits until it has ended, so
/// that its buffer and OVERLAPPED may go.
void CancelAndWait(HANDLE handle, OVERLAPPED& overlapped) {
  ::CancelIoEx(handle, &overlapped);
  DWORD ignored = 0;
  ::GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
}

// Whether the pipe of `pipe` has exactly one instance, this one, and can have no other: false
// when another process created the name first, also where FILE_FLAG_FIRST_PIPE_INSTANCE is
// ignored (Wine).
bool OnlyInstance(HANDLE pipe) {
  DWORD max_instances = 0;
  DWORD instances = 0;
  return ::GetNamedPipeInfo(pipe, nullptr, nullptr, nullptr, &max_instances) &&
         max_instances == 1 &&
         ::GetNamedPipeHandleStateW(pipe, nullptr, &instances, nullptr, nullptr, nullptr, 0) &&
         instances == 1;
}

/// Waits for a client to connect to `pipe` (one that connected before counts), or for a stop
/// request raising `stop`: kStopRequested then.
Result<void> AwaitConnection(HANDLE pipe, const Wakeup* stop) {
  SystemHandle event = NewEvent();
  if (!event.valid()) return Fail("Failed to connect pipe: " + SystemErrorText());
  OVERLAPPED overlapped{};
  overlapped.hEvent = AsHandle(event);
  DWORD code = ERROR_SUCCESS;
  if (!::ConnectNamedPipe(pipe, &overlapped)) code = ::GetLastError();
  if (code == ERROR_IO_PENDING) {
    const HANDLE watched[2] = {overlapped.hEvent, stop != nullptr
                                                      ? reinterpret_cast<HANDLE>(stop->native())
                                                      : overlapped.hEvent};
    for (;;) {
      const DWORD which = ::WaitForMultipleObjects(2, watched, FALSE, INFINITE);
      if (which == WAIT_OBJECT_0 + 1 && StopRequest() != nullptr) {
        CancelAndWait(pipe, overlapped);
        return Fail(kStopRequested);
      }
      if (which == WAIT_OBJECT_0 || which == WAIT_FAILED) break;
    }
    DWORD ignored = 0;
    code = ::GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) ? ERROR_SUCCESS
                                                                     : ::GetLastError();
  }
  // A client that connected between creation and this call is a success too.
  if (code != ERROR_SUCCESS && code != ERROR_PIPE_CONNECTED) {
    return Fail("Failed to connect pipe: " + SystemErrorText(code));
  }
  return Ok();
}

}  // namespace

PipeServer::~PipeServer() = default;

Result<PipeServer> PipeServer::CreateNamed(const std::string& name) {
  const Result<ProcessUser> user = ProcessUser::OfThisProcess();
  if (!user) return user.error();
  Result<OwnerOnlySecurity> security = OwnerOnlySecurity::For(user->sid());
  if (!security) return std::move(security).error();
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security->descriptor(), FALSE};
  // The name goes to the ANSI call unchanged. Remote clients are refused: this process loads
  // libraries on request and must only ever be driven from this machine. A name that exists
  // already belongs to someone else, who would meet the client first.
  SystemHandle pipe = Own(::CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536,
      0, &attributes));
  if (!pipe.valid()) return Fail(CreationErrorText(::GetLastError()));
  if (!OnlyInstance(AsHandle(pipe))) return Fail(CreationErrorText(ERROR_PIPE_BUSY));
  return PipeServer(std::move(pipe), name);
}

std::optional<std::string> PipeServer::Stranger(const SystemHandle& connection) {
  ULONG client = 0;
  if (!::GetNamedPipeClientProcessId(AsHandle(connection), &client)) {
    return "its process cannot be told: " + SystemErrorText();
  }
  const Result<ProcessUser> user = ProcessUser::OfThisProcess();
  if (!user) return "this process's user cannot be told: " + user.error().text;
  return StrangerProcess(client, user->sid());
}

Result<void> PipeServer::WaitForClient(const RefusalReport& refused, const Wakeup* stop) {
  for (;;) {
    if (Result<void> connected = AwaitConnection(AsHandle(listener_), stop); !connected) {
      listener_.Reset();
      return connected;
    }
    const std::optional<std::string> stranger = Stranger(listener_);
    if (!stranger) break;
    if (refused) refused(*stranger);
    ::DisconnectNamedPipe(AsHandle(listener_));
  }
  // The pipe instance that listened is the connection itself.
  connection_ = std::move(listener_);
  return Ok();
}

void PipeServer::RemoveSocket() {}

Result<PipeReader> PipeServer::OpenReader() {
  HANDLE duplicate = nullptr;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, AsHandle(connection_), self, &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    const DWORD code = ::GetLastError();
    connection_.Reset();
    return Fail(SystemErrorText(code));
  }
  return PipeReader(Own(duplicate));
}

// A read started by WaitForInput, into a buffer of its own, and what it brought that Read has not
// handed out yet.
struct PipeReader::Pending {
  SystemHandle event = NewEvent();
  OVERLAPPED overlapped{};
  std::array<char, 8192> buffer{};
  bool started = false;  // the read is in progress
  size_t held = 0;       // bytes it brought, from `offset` on
  size_t offset = 0;
  bool ended = false;          // it found the end of the stream
  std::optional<DWORD> error;  // it failed
};

PipeReader::PipeReader(SystemHandle handle)
    : handle_(std::move(handle)), pending_(std::make_unique<Pending>()) {}
PipeReader::PipeReader(PipeReader&&) noexcept = default;
PipeReader& PipeReader::operator=(PipeReader&&) noexcept = default;

PipeReader::~PipeReader() {
  if (pending_ && pending_->started) CancelAndWait(AsHandle(handle_), pending_->overlapped);
}

Result<size_t> PipeReader::Read(char* buffer, size_t size) {
  Pending& pending = *pending_;
  if (pending.started) {
    DWORD got = 0;
    const BOOL done = ::GetOverlappedResult(AsHandle(handle_), &pending.overlapped, &got, TRUE);
    const DWORD code = done ? ERROR_SUCCESS : ::GetLastError();
    pending.started = false;
    if (done) {
      pending.held = got;
      pending.offset = 0;
    } else if (IsEndOfPipe(code) || code == ERROR_OPERATION_ABORTED) {
      pending.ended = true;
    } else {
      pending.error = code;
    }
  }
  if (pending.held > 0) {
    const size_t n = std::min(size, pending.held);
    std::copy_n(pending.buffer.data() + pending.offset, n, buffer);
    pending.offset += n;
    pending.held -= n;
    return n;
  }
  if (pending.error) return Fail(SystemErrorText(*std::exchange(pending.error, std::nullopt)));
  if (pending.ended) return size_t{0};
  return ReadPipe(handle_, buffer, size, pending.event);
}

InputWait PipeReader::WaitForInput(const Wakeup& wakeup,
                                   std::optional<std::chrono::milliseconds> timeout) {
  Pending& pending = *pending_;
  if (pending.held > 0 || pending.ended || pending.error) return InputWait::kInput;
  HANDLE handle = AsHandle(handle_);
  if (!pending.started) {
    pending.overlapped = OVERLAPPED{};
    pending.overlapped.hEvent = AsHandle(pending.event);
    ::ResetEvent(pending.overlapped.hEvent);
    const BOOL done =
        ::ReadFile(handle, pending.buffer.data(), static_cast<DWORD>(pending.buffer.size()),
                   nullptr, &pending.overlapped);
    const DWORD code = done ? ERROR_SUCCESS : ::GetLastError();
    if (code != ERROR_IO_PENDING) {
      // Finished at once, or failed at once (a read that failed never signals its event): either
      // way Read has something to hand out now.
      DWORD got = 0;
      if (done && ::GetOverlappedResult(handle, &pending.overlapped, &got, FALSE)) {
        pending.held = got;
        pending.offset = 0;
      } else if (done || IsEndOfPipe(code)) {
        pending.ended = true;
      } else {
        pending.error = code;
      }
      return InputWait::kInput;
    }
    pending.started = true;
  }
  const HANDLE watched[2] = {pending.overlapped.hEvent, reinterpret_cast<HANDLE>(wakeup.native())};
  const int64_t ms = WaitMilliseconds(timeout);
  const DWORD which =
      ::WaitForMultipleObjects(2, watched, FALSE, ms < 0 ? INFINITE : static_cast<DWORD>(ms));
  if (which == WAIT_OBJECT_0 + 1) return InputWait::kWoken;
  if (which == WAIT_TIMEOUT) return InputWait::kTimedOut;
  return InputWait::kInput;
}

bool PipeReader::PeerGone() const {
  // A named pipe has no half-close: peeking fails (ERROR_BROKEN_PIPE) once the client's handle is
  // closed, and consumes nothing while it is open.
  if (pending_->ended) return true;
  DWORD available = 0;
  return !::PeekNamedPipe(AsHandle(handle_), nullptr, 0, nullptr, &available, nullptr);
}

}  // namespace tarnix::platform
