// Who can reach the bridge's socket on Linux: its mode, the check of the peer's user, the names
// refused, and the removal of exactly the socket that was made.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "platform/pipe_client.h"
#include "platform/pipe_server.h"
#include "tests/support/temp_folder.h"

namespace tarnix::platform {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Connects `server`'s socket at `name` and waits until the server has taken the client.
void ConnectTo(PipeServer& server, const std::string& name) {
  std::optional<Result<PipeClient>> client;
  std::thread connecting([&] { client.emplace(PipeClient::Connect(name, 20000)); });
  const Result<void> connected = server.WaitForClient();
  connecting.join();
  ASSERT_TRUE(connected.ok() && client->ok());
}

TEST(PosixPipeServer, TheSocketIsTheUsersAloneWhateverTheUmask) {
  const test_support::TempFolder folder("pipe");
  const std::string name = folder.File("tarnix.sock");
  const mode_t previous = ::umask(0);
  Result<PipeServer> server = PipeServer::Create(name);
  ::umask(previous);
  ASSERT_TRUE(server.ok()) << server.error().text;
  struct stat info {};
  ASSERT_EQ(::lstat(name.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  // An empty name would be an abstract socket, which any user reaches.
  EXPECT_EQ(PipeServer::Create("").error().text, "pipe name is empty");
}

TEST(PosixPipeServer, TheSocketIsGoneOnceTheClientIsInAndItsNameFreeAfterwards) {
  const test_support::TempFolder folder("pipe");
  const std::string name = folder.File("tarnix.sock");
  {
    Result<PipeServer> server = PipeServer::Create(name);
    ASSERT_TRUE(server.ok()) << server.error().text;
    ConnectTo(*server, name);
    EXPECT_FALSE(fs::exists(fs::symlink_status(name)));
  }
  // A server that never had a client removes its socket when it ends.
  EXPECT_TRUE(PipeServer::Create(name).ok());
  EXPECT_FALSE(fs::exists(fs::symlink_status(name)));
  EXPECT_TRUE(PipeServer::Create(name).ok());
}

TEST(PosixPipeServer, RemovesTheSocketItMadeEvenWhenItsFolderIsSwappedForALink) {
  const test_support::TempFolder folder("pipe");
  fs::create_directory(folder.path() / "run");
  fs::create_directory(folder.path() / "theirs");
  std::ofstream(folder.path() / "theirs" / "tarnix.sock") << "someone else's file";
  Result<PipeServer> server = PipeServer::Create(folder.File("run/tarnix.sock"));
  ASSERT_TRUE(server.ok()) << server.error().text;
  fs::rename(folder.path() / "run", folder.path() / "moved");
  fs::create_directory_symlink(folder.path() / "theirs", folder.path() / "run");

  ConnectTo(*server, folder.File("moved/tarnix.sock"));
  EXPECT_TRUE(fs::exists(folder.path() / "theirs" / "tarnix.sock"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder.path() / "moved" / "tarnix.sock")));
}

// The forked child: connects as user nobody and ends with 0 once the server has closed the
// connection unanswered, 2 when it could not connect, 3 when the connection stayed open. Only
// calls that are safe after fork().
[[noreturn]] void ConnectAsNobody(const sockaddr_un& address) {
  if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0) {
    ::_exit(10);
  }
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const timeval limit{10, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      char byte = 0;
      const ssize_t got = ::read(fd, &byte, 1);
      ::_exit(got == 0 || (got < 0 && errno == ECONNRESET) ? 0 : 3);
    }
    ::close(fd);
    ::usleep(10000);
  }
  ::_exit(2);
}

TEST(PosixPipeServer, AClientOfAnotherUserIsTurnedAwayAndTheWaitGoesOn) {
  if (::geteuid() != 0) GTEST_SKIP() << "running a client as another user needs root";
  const test_support::TempFolder folder("pipe");
  fs::permissions(folder.path(), fs::perms::others_exec, fs::perm_options::add);
  const std::string name = folder.File("tarnix.sock");
  Result<PipeServer> server = PipeServer::Create(name);
  ASSERT_TRUE(server.ok()) << server.error().text;
  // As a careless umask used to leave it: the check must not rest on the mode alone.
  ASSERT_EQ(::chmod(name.c_str(), 0666), 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, name.c_str(), sizeof address.sun_path - 1);

  const pid_t stranger = ::fork();  // before any thread starts
  if (stranger == 0) ConnectAsNobody(address);
  std::string reason;
  std::thread waiting([&] {
    const Result<void> connected =
        server->WaitForClient([&](const std::string& why) { reason = why; });
    EXPECT_TRUE(connected.ok());
  });
  int status = 0;
  ::waitpid(stranger, &status, 0);
  // The client of this user that arrives next is served.
  const Result<PipeClient> own = PipeClient::Connect(name, 20000);
  waiting.join();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(reason,
            "user id 65534 (process " + std::to_string(stranger) + ") is not this process's user");
  EXPECT_TRUE(own.ok());
}

}  // namespace
}  // namespace tarnix::platform
