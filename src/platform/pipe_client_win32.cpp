// The client end on Windows: open the named pipe as a client application does, waiting until it
// exists.
#include <windows.h>

#include <chrono>

#include "platform/pipe_client.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/win32_handle.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

Result<PipeClient> PipeClient::Connect(const std::string& name, uint32_t timeout_ms) {
  const std::wstring wide = Widen(name);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    // Whoever serves the pipe may identify this client, never impersonate it. Overlapped, so
    // that a read can end in time and a write need not wait for another thread's read.
    SystemHandle pipe = Own(::CreateFileW(
        wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe.valid()) return Adopt(std::move(pipe));
    const DWORD code = ::GetLastError();
    if (std::chrono::steady_clock::now() >= deadline) return Fail(SystemErrorText(code));
    SleepMilliseconds(10);
  }
}

Result<uint32_t> PipeClient::ServerProcessId() const {
  ULONG id = 0;
  if (!::GetNamedPipeServerProcessId(AsHandle(handle_), &id)) {
    return CallFailed("GetNamedPipeServerProcessId");
  }
  return static_cast<uint32_t>(id);
}

bool PipeClient::CloseWrite() {
  return false;
}

Result<PrivatePipeName> PrivatePipeName::Make(std::string_view tag) {
  return PrivatePipeName("\\\\.\\pipe\\tarnix-" + std::string(tag) + "-" + RandomHexDigits(16), {});
}

PrivatePipeName::~PrivatePipeName() = default;

}  // namespace tarnix::platform
