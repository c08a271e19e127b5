// The client's pipe on Windows: one instance of a local byte-mode named pipe.
#include <windows.h>

#include <cstdio>

#include "platform/pipe_server.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

const intptr_t kNone = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

HANDLE AsHandle(intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

void CloseIfOpen(intptr_t& handle) {
  if (handle != kNone) {
    ::CloseHandle(AsHandle(handle));
    handle = kNone;
  }
}

// The creation failure as the system words it, with the error as an HRESULT: "... (0x800700E7)".
std::string CreationErrorText(DWORD code) {
  const DWORD hresult = code == 0 ? 0 : (0x80070000u | (code & 0xFFFFu));
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(hresult));
  const std::string message = SystemMessage(code);
  return message.empty() ? std::string(hex) : message + " (" + hex + ")";
}

}  // namespace

PipeReader::PipeReader(PipeReader&& other) noexcept : handle_(other.handle_) {
  other.handle_ = kNone;
}

PipeReader& PipeReader::operator=(PipeReader&& other) noexcept {
  if (this != &other) {
    CloseIfOpen(handle_);
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

PipeReader::~PipeReader() {
  CloseIfOpen(handle_);
}

Result<size_t> PipeReader::Read(char* buffer, size_t size) {
  DWORD got = 0;
  if (::ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(size), &got, nullptr))
    return size_t{got};
  const DWORD code = ::GetLastError();
  // The client closing its end is the end of input, not a failure.
  if (code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA) return size_t{0};
  return Fail(SystemErrorText(code));
}

PipeServer::PipeServer(PipeServer&& other) noexcept
    : listener_(other.listener_), connection_(other.connection_), name_(std::move(other.name_)) {
  other.listener_ = kNone;
  other.connection_ = kNone;
}

PipeServer& PipeServer::operator=(PipeServer&& other) noexcept {
  PipeServer taken(std::move(other));
  std::swap(listener_, taken.listener_);
  std::swap(connection_, taken.connection_);
  std::swap(name_, taken.name_);
  return *this;
}

PipeServer::~PipeServer() {
  // On Windows the listening handle is the connection itself.
  CloseIfOpen(listener_);
}

Result<PipeServer> PipeServer::Create(const std::string& name) {
  if (const size_t nul = name.find('\0'); nul != std::string::npos) {
    return Fail("nul byte found in provided data at position: " + std::to_string(nul));
  }
  // The name goes to the ANSI call unchanged. Remote clients are refused: this process loads
  // libraries on request and must only ever be driven from this machine.
  HANDLE pipe = ::CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_DUPLEX,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536,
      0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return Fail(CreationErrorText(::GetLastError()));
  return PipeServer(reinterpret_cast<intptr_t>(pipe), reinterpret_cast<intptr_t>(pipe), name);
}

Result<void> PipeServer::WaitForClient() {
  if (!::ConnectNamedPipe(AsHandle(listener_), nullptr)) {
    const DWORD code = ::GetLastError();
    // The client connected between creation and this call: that is a success.
    if (code != ERROR_PIPE_CONNECTED) {
      CloseIfOpen(listener_);
      connection_ = kNone;
      return Fail("Failed to connect pipe: " + SystemErrorText(code));
    }
  }
  return Ok();
}

Result<PipeReader> PipeServer::OpenReader() {
  HANDLE duplicate = nullptr;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, AsHandle(connection_), self, &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    const DWORD code = ::GetLastError();
    CloseIfOpen(listener_);
    connection_ = kNone;
    return Fail(SystemErrorText(code));
  }
  return PipeReader(reinterpret_cast<intptr_t>(duplicate));
}

Result<void> PipeServer::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(AsHandle(connection_), bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr)) {
      return Fail(SystemErrorText(::GetLastError()));
    }
    bytes.remove_prefix(written);
  }
  return Ok();
}

}  // namespace tarnix::platform
