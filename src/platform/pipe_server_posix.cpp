// The client's pipe on Linux: a Unix-domain stream socket at the path given as the pipe name.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/pipe_io.h"
#include "platform/pipe_server.h"
#include "platform/stop_request.h"
#include "platform/system_error.h"

namespace tarnix::platform {
namespace {

/// poll(2) retried after signals, with the time given in milliseconds (-1: none).
int PollRetried(pollfd* watched, nfds_t count, int timeout_ms) {
  int ready = 0;
  do {
    ready = ::poll(watched, count, timeout_ms);
  } while (ready < 0 && errno == EINTR && StopRequest() == nullptr);
  return ready;
}

/// Whether the wake-up `fd` is raised; lowers it.
bool TakeWakeup(const pollfd& wake) {
  if ((wake.revents & POLLIN) == 0) return false;
  uint64_t count = 0;
  static_cast<void>(::read(wake.fd, &count, sizeof count));
  return true;
}

}  // namespace

// Nothing is pending on Linux: poll(2) says whether a read would block without starting one.
struct PipeReader::Pending {};

PipeReader::PipeReader(SystemHandle handle) : handle_(std::move(handle)) {}
PipeReader::PipeReader(PipeReader&&) noexcept = default;
PipeReader& PipeReader::operator=(PipeReader&&) noexcept = default;
PipeReader::~PipeReader() = default;

Result<size_t> PipeReader::Read(char* buffer, size_t size) {
  return ReadPipe(handle_, buffer, size);
}

InputWait PipeReader::WaitForInput(const Wakeup& wakeup,
                                   std::optional<std::chrono::milliseconds> timeout) {
  pollfd watched[2] = {{static_cast<int>(handle_.get()), POLLIN | POLLRDHUP, 0},
                       {static_cast<int>(wakeup.native()), POLLIN, 0}};
  const int ready = PollRetried(watched, 2, static_cast<int>(WaitMilliseconds(timeout)));
  // A failed poll is for the read to report.
  if (ready < 0 && errno != EINTR) return InputWait::kInput;
  if (TakeWakeup(watched[1]) || ready < 0) return InputWait::kWoken;
  return ready == 0 ? InputWait::kTimedOut : InputWait::kInput;
}

PipeServer::~PipeServer() {
  // A socket still listening also has its path to remove.
  if (listener_.valid()) {
    listener_.Reset();
    ::unlink(name_.c_str());
  }
}

Result<PipeServer> PipeServer::CreateNamed(const std::string& name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) {
    return Fail("pipe name is too long for a socket path: " + std::to_string(name.size()) +
                " bytes, at most " + std::to_string(sizeof address.sun_path - 1));
  }
  std::memcpy(address.sun_path, name.data(), name.size());
  SystemHandle listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return Fail(SystemErrorText());
  // An existing path is refused, as a busy pipe name is on Windows.
  if (::bind(static_cast<int>(listener.get()), reinterpret_cast<const sockaddr*>(&address),
             sizeof address) != 0) {
    return Fail(SystemErrorText());
  }
  return PipeServer(std::move(listener), name);
}

Result<void> PipeServer::WaitForClient(const Wakeup* stop) {
  const int listener = static_cast<int>(listener_.get());
  if (::listen(listener, 1) != 0) return Fail(SystemErrorText());
  if (stop != nullptr) {
    pollfd watched[2] = {{listener, POLLIN, 0}, {static_cast<int>(stop->native()), POLLIN, 0}};
    for (;;) {
      if (StopRequest() != nullptr) return Fail(kStopRequested);
      const int ready = PollRetried(watched, 2, -1);
      if (ready < 0 && errno != EINTR) break;  // for accept to report
      if (ready > 0 && !TakeWakeup(watched[1])) break;
    }
  }
  int client = -1;
  do {
    client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  } while (client < 0 && errno == EINTR);
  if (client < 0) return Fail("Failed to connect pipe: " + SystemErrorText());
  connection_ = SystemHandle(client);
  // Only one client is ever served: nobody else may reach this process from now on.
  listener_.Reset();
  ::unlink(name_.c_str());
  return Ok();
}

Result<PipeReader> PipeServer::OpenReader() {
  const int fd = ::fcntl(static_cast<int>(connection_.get()), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return Fail(SystemErrorText());
  return PipeReader(SystemHandle(fd));
}

bool PipeReader::PeerGone() const {
  // POLLHUP only once both directions are shut: a client's half-close shows as POLLRDHUP alone.
  pollfd watched{static_cast<int>(handle_.get()), POLLIN | POLLRDHUP, 0};
  int ready = 0;
  do {
    ready = ::poll(&watched, 1, 0);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return true;
  return (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace tarnix::platform
