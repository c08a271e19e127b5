// The client's pipe on Windows: the one instance of a local byte-mode named pipe, for this user
// alone.
#include <windows.h>

#include <cstdio>

#include "platform/pipe_server.h"
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
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
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

Result<void> PipeServer::WaitForClient(const RefusalReport& refused) {
  for (;;) {
    if (!::ConnectNamedPipe(AsHandle(listener_), nullptr)) {
      const DWORD code = ::GetLastError();
      // The client connected between creation and this call: that is a success.
      if (code != ERROR_PIPE_CONNECTED) {
        listener_.Reset();
        return Fail("Failed to connect pipe: " + SystemErrorText(code));
      }
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

bool PipeReader::PeerGone() const {
  // A named pipe has no half-close: peeking fails (ERROR_BROKEN_PIPE) once the client's handle is
  // closed, and consumes nothing while it is open.
  DWORD available = 0;
  return !::PeekNamedPipe(AsHandle(handle_), nullptr, 0, nullptr, &available, nullptr);
}

}  // namespace tarnix::platform
