// The client's pipe on Linux: a Unix-domain stream socket at the path given as the pipe name.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/pipe_server.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

constexpr intptr_t kNone = -1;

void CloseFd(intptr_t& fd) {
  if (fd != kNone) {
    ::close(static_cast<int>(fd));
    fd = kNone;
  }
}

std::string LastErrorText() {
  return SystemErrorText(LastSystemError());
}

}  // namespace

PipeReader::PipeReader(PipeReader&& other) noexcept : handle_(other.handle_) {
  other.handle_ = kNone;
}

PipeReader& PipeReader::operator=(PipeReader&& other) noexcept {
  if (this != &other) {
    CloseFd(handle_);
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

PipeReader::~PipeReader() {
  CloseFd(handle_);
}

Result<size_t> PipeReader::Read(char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    // A client that vanished mid-stream is the end of its input, as a broken pipe is on Windows.
    if (errno == ECONNRESET) return size_t{0};
    return Fail(LastErrorText());
  }
}

PipeServer::PipeServer(PipeServer&& other) noexcept
    : listener_(other.listener_), connection_(other.connection_), name_(std::move(other.name_)) {
  other.listener_ = kNone;
  other.connection_ = kNone;
  other.name_.clear();
}

PipeServer& PipeServer::operator=(PipeServer&& other) noexcept {
  PipeServer taken(std::move(other));
  std::swap(listener_, taken.listener_);
  std::swap(connection_, taken.connection_);
  std::swap(name_, taken.name_);
  return *this;
}

PipeServer::~PipeServer() {
  if (listener_ != kNone) {
    CloseFd(listener_);
    ::unlink(name_.c_str());
  }
  CloseFd(connection_);
}

Result<PipeServer> PipeServer::Create(const std::string& name) {
  if (const size_t nul = name.find('\0'); nul != std::string::npos) {
    return Fail("nul byte found in provided data at position: " + std::to_string(nul));
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) {
    return Fail("pipe name is too long for a socket path: " + std::to_string(name.size()) +
                " bytes, at most " + std::to_string(sizeof address.sun_path - 1));
  }
  std::memcpy(address.sun_path, name.data(), name.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Fail(LastErrorText());
  // An existing path is refused, as a busy pipe name is on Windows.
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const std::string text = LastErrorText();
    ::close(fd);
    return Fail(text);
  }
  return PipeServer(fd, kNone, name);
}

Result<void> PipeServer::WaitForClient() {
  if (::listen(static_cast<int>(listener_), 1) != 0) return Fail(LastErrorText());
  int client = -1;
  do {
    client = ::accept4(static_cast<int>(listener_), nullptr, nullptr, SOCK_CLOEXEC);
  } while (client < 0 && errno == EINTR);
  if (client < 0) return Fail("Failed to connect pipe: " + LastErrorText());
  connection_ = client;
  // Only one client is ever served: nobody else may reach this process from now on.
  CloseFd(listener_);
  ::unlink(name_.c_str());
  return Ok();
}

Result<PipeReader> PipeServer::OpenReader() {
  const int fd = ::fcntl(static_cast<int>(connection_), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return Fail(LastErrorText());
  return PipeReader(fd);
}

Result<void> PipeServer::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a vanished client is an error value, never SIGPIPE.
    const ssize_t n =
        ::send(static_cast<int>(connection_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(LastErrorText());
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return Ok();
}

}  // namespace tarnix::platform
