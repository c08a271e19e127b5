// The client's pipe on Linux: a Unix-domain stream socket at the path given as the pipe name,
// reachable by this user alone.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/pipe_io.h"
#include "platform/pipe_server.h"
#include "platform/posix_file.h"
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

/// Waits until a client knocks on `listener` (true) or a stop request raises `stop` (false).
bool AwaitClient(int listener, const Wakeup& stop) {
  pollfd watched[2] = {{listener, POLLIN, 0}, {static_cast<int>(stop.native()), POLLIN, 0}};
  for (;;) {
    if (StopRequest() != nullptr) return false;
    const int ready = PollRetried(watched, 2, -1);
    if (ready < 0 && errno != EINTR) return true;  // for accept to report
    if (ready > 0 && !TakeWakeup(watched[1])) return true;
  }
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
    RemoveSocket();
  }
}

Result<PipeServer> PipeServer::CreateNamed(const std::string& name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // An empty name would make an abstract socket, which the file system does not guard.
  if (name.empty()) return Fail("pipe name is empty");
  if (name.size() >= sizeof address.sun_path) {
    return Fail("pipe name is too long for a socket path: " + std::to_string(name.size()) +
                " bytes, at most " + std::to_string(sizeof address.sun_path - 1));
  }
  std::memcpy(address.sun_path, name.data(), name.size());
  const auto [folder_path, file] = SplitPosixPath(name);
  SystemHandle folder(::open(folder_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return Fail(SystemErrorText());
  SystemHandle listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return Fail(SystemErrorText());
  // The socket file takes its mode from the umask: 0600 it is, and nobody can connect before
  // listen() anyway. An existing path is refused, as a busy pipe name is on Windows.
  const mode_t umask = ::umask(0177);
  const int bound =
      ::bind(static_cast<int>(listener.get()), reinterpret_cast<const sockaddr*>(&address),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1));
  const uint32_t code = LastSystemError();
  ::umask(umask);
  if (bound != 0) return Fail(SystemErrorText(code));
  PipeServer server(std::move(listener), name);
  // What was bound, as seen in the folder held open: removal later takes only this very socket.
  struct stat info {};
  if (::fstatat(static_cast<int>(folder.get()), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISSOCK(info.st_mode)) {
    server.folder_ = std::move(folder);
    server.socket_file_ = file;
    server.socket_device_ = static_cast<uint64_t>(info.st_dev);
    server.socket_inode_ = static_cast<uint64_t>(info.st_ino);
  }
  return server;
}

void PipeServer::RemoveSocket() {
  if (!folder_.valid()) return;
  const int folder = static_cast<int>(folder_.get());
  struct stat info {};
  if (::fstatat(folder, socket_file_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      static_cast<uint64_t>(info.st_dev) == socket_device_ &&
      static_cast<uint64_t>(info.st_ino) == socket_inode_) {
    ::unlinkat(folder, socket_file_.c_str(), 0);
  }
  folder_.Reset();
}

std::optional<std::string> PipeServer::Stranger(const SystemHandle& connection) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(static_cast<int>(connection.get()), SOL_SOCKET, SO_PEERCRED, &peer, &size) !=
      0) {
    return "its credentials cannot be read: " + SystemErrorText();
  }
  if (peer.uid == ::geteuid() || peer.uid == 0) return std::nullopt;
  return "user id " + std::to_string(peer.uid) + " (process " + std::to_string(peer.pid) +
         ") is not this process's user";
}

Result<void> PipeServer::WaitForClient(const RefusalReport& refused, const Wakeup* stop) {
  const int listener = static_cast<int>(listener_.get());
  if (::listen(listener, 1) != 0) return Fail(SystemErrorText());
  for (;;) {
    if (stop != nullptr && !AwaitClient(listener, *stop)) return Fail(kStopRequested);
    int client = -1;
    do {
      client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (client < 0 && errno == EINTR);
    if (client < 0) return Fail("Failed to connect pipe: " + SystemErrorText());
    SystemHandle connection(client);
    const std::optional<std::string> stranger = Stranger(connection);
    if (!stranger) {
      connection_ = std::move(connection);
      break;
    }
    if (refused) refused(*stranger);
  }
  // Only one client is ever served: nobody else may reach this process from now on.
  listener_.Reset();
  RemoveSocket();
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
