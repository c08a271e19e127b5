// Child processes on Linux: fork and exec with a prepared environment and standard error file.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/process.h"
#include "platform/system_error.h"

extern char** environ;

namespace tarnix::platform {
namespace {

std::vector<std::string> MergedEnvironment(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const size_t eq = text.find('=');
    if (eq != std::string::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      merged[name] = *value;
    } else {
      merged.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : merged)
    out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& text : texts)
    out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

const int ChildProcess::kKilledExitCode = 128 + SIGKILL;
const char kNullDevice[] = "/dev/null";

std::optional<ProcessUsage> ChildProcess::Usage() const {
  if (!handle_.valid()) return std::nullopt;
  const std::filesystem::path proc = "/proc/" + std::to_string(handle_.get());
  ProcessUsage usage;
  // Each thread's time on a processor, in nanoseconds (finer than the tick counts of "stat").
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(proc / "task", error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    uint64_t nanoseconds = 0;
    if (schedstat >> nanoseconds) usage.cpu_seconds += static_cast<double>(nanoseconds) * 1e-9;
  }
  if (error) return std::nullopt;
  std::ifstream status(proc / "status");
  for (std::string line; std::getline(status, line);) {
    const auto kilobytes = [&line] { return std::stoull(line.substr(line.find(':') + 1)) << 10; };
    if (line.starts_with("VmRSS:")) usage.resident_bytes = kilobytes();
    if (line.starts_with("VmHWM:")) usage.peak_resident_bytes = kilobytes();
  }
  return usage;
}

bool ChildProcess::RequestStop() {
  return handle_.valid() && ::kill(static_cast<pid_t>(handle_.get()), SIGTERM) == 0;
}

void ChildProcess::End(intptr_t handle) {
  ::kill(static_cast<pid_t>(handle), SIGKILL);
  int status = 0;
  ::waitpid(static_cast<pid_t>(handle), &status, 0);
}

void ChildProcess::ReleaseHandle(intptr_t handle) {
  // Reaped now when it has ended already; a running child is left to itself.
  int status = 0;
  if (handle != -1) ::waitpid(static_cast<pid_t>(handle), &status, WNOHANG);
}

Result<ChildProcess> ChildProcess::Spawn(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const EnvironmentChanges& env,
                                         const std::string& stderr_path, ChildConsole) {
  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<std::string> env_texts = MergedEnvironment(env);
  std::vector<char*> argv = Pointers(argv_texts);
  std::vector<char*> envp = Pointers(env_texts);
  int err_fd = -1;
  if (!stderr_path.empty()) {
    err_fd = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err_fd < 0) return Fail(SystemErrorText(LastSystemError()));
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    const std::string text = SystemErrorText(LastSystemError());
    if (err_fd >= 0) ::close(err_fd);
    return Fail(text);
  }
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(null_fd, STDOUT_FILENO);
    if (err_fd >= 0) ::dup2(err_fd, STDERR_FILENO);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (err_fd >= 0) ::close(err_fd);
  return ChildProcess(pid, static_cast<uint32_t>(pid));
}

std::optional<int> ChildProcess::Wait(uint32_t timeout_ms) {
  if (exit_code_ || !handle_.valid()) return exit_code_;
  const auto pid = static_cast<pid_t>(handle_.get());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      handle_.Take();  // reaped: nothing is left to end
      return exit_code_;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    SleepMilliseconds(2);
  }
}

std::string ExecutableDirectory() {
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string text(path, n > 0 ? static_cast<size_t>(n) : 0);
  return text.substr(0, text.rfind('/') + 1);
}

std::string ExecutableFileName(const std::string& base) {
  return base;
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(::getpid());
}

}  // namespace tarnix::platform
