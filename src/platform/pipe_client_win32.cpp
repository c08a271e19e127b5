// The client end on Windows: open the named pipe as a client application does, waiting until it
// exists.
#include <windows.h>

#include <chrono>

#include "platform/pipe_client.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {
const intptr_t kNone = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
HANDLE AsHandle(intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}
}  // namespace

PipeClient::PipeClient(PipeClient&& other) noexcept
    : handle_(other.handle_), pending_(std::move(other.pending_)) {
  other.handle_ = kNone;
}

PipeClient& PipeClient::operator=(PipeClient&& other) noexcept {
  PipeClient taken(std::move(other));
  std::swap(handle_, taken.handle_);
  std::swap(pending_, taken.pending_);
  return *this;
}

PipeClient::~PipeClient() {
  Close();
}

Result<PipeClient> PipeClient::Connect(const std::string& name, uint32_t timeout_ms) {
  const std::wstring wide = Widen(name);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    HANDLE pipe = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return PipeClient(reinterpret_cast<intptr_t>(pipe));
    const DWORD code = ::GetLastError();
    if (std::chrono::steady_clock::now() >= deadline) return Fail(SystemErrorText(code));
    SleepMilliseconds(10);
  }
}

Result<void> PipeClient::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
      return Fail(SystemErrorText(::GetLastError()));
    }
    bytes.remove_prefix(written);
  }
  return Ok();
}

Result<std::optional<std::string>> PipeClient::ReadLine() {
  for (;;) {
    if (const size_t lf = pending_.find('\n'); lf != std::string::npos) {
      std::string line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      return std::optional<std::string>(std::move(line));
    }
    char buffer[4096];
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), buffer, sizeof buffer, &got, nullptr)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA) return std::optional<std::string>();
      return Fail(SystemErrorText(code));
    }
    if (got == 0) return std::optional<std::string>();
    pending_.append(buffer, got);
  }
}

void PipeClient::Close() {
  if (handle_ != kNone) {
    ::CloseHandle(AsHandle(handle_));
    handle_ = kNone;
  }
}

bool PipeClient::CloseWrite() {
  return false;
}

std::string UniquePipeName(std::string_view tag) {
  return "\\\\.\\pipe\\tarnix-test-" + std::to_string(CurrentProcessId()) + "-" + std::string(tag);
}

}  // namespace tarnix::platform
