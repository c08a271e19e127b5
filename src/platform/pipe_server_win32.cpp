// The client's pipe on Windows: one instance of a local byte-mode named pipe.
#include <windows.h>

#include <cstdio>

#include "platform/pipe_server.h"
#include "platform/system_error.h"
#include "platform/win32_handle.h"

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

}  // namespace

PipeServer::~PipeServer() = default;

Result<PipeServer> PipeServer::CreateNamed(const std::string& name) {
  // The name goes to the ANSI call unchanged. Remote clients are refused: this process loads
  // libraries on request and must only ever be driven from this machine.
  SystemHandle pipe = Own(::CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_DUPLEX,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536,
      0, nullptr));
  if (!pipe.valid()) return Fail(CreationErrorText(::GetLastError()));
  return PipeServer(std::move(pipe), name);
}

Result<void> PipeServer::WaitForClient() {
  if (!::ConnectNamedPipe(AsHandle(listener_), nullptr)) {
    const DWORD code = ::GetLastError();
    // The client connected between creation and this call: that is a success.
    if (code != ERROR_PIPE_CONNECTED) {
      listener_.Reset();
      return Fail("Failed to connect pipe: " + SystemErrorText(code));
    }
  }
  // The pipe instance that listened is the connection itself.
  connection_ = std::move(listener_);
  return Ok();
}

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

bool PipeReader::PeerGone() const {
  // A named pipe has no half-close: peeking fails (ERROR_BROKEN_PIPE) once the client's handle is
  // closed, and consumes nothing while it is open.
  DWORD available = 0;
  return !::PeekNamedPipe(AsHandle(handle_), nullptr, 0, nullptr, &available, nullptr);
}

}  // namespace tarnix::platform
