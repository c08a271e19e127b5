// Starting, measuring and waiting for child processes (used by the end-to-end tests, the client
// tool and the benchmark).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace tarnix::platform {

/// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

/// What a running process has used so far.
struct ProcessUsage {
  double cpu_seconds = 0;            ///< user and system time of its threads
  uint64_t resident_bytes = 0;       ///< physical memory it holds now
  uint64_t peak_resident_bytes = 0;  ///< the most physical memory it held at once
};

/// The file that discards what is written to it: "/dev/null", or "NUL" on Windows.
extern const char kNullDevice[];

/// Whether a started console program shares its parent's console or has none (Windows; elsewhere
/// there is no difference). A program started by a library in someone else's window program must
/// not open a console window of its own.
enum class ChildConsole { kShared, kNone };

/// A started child process. Destroying a still-running child kills it.
class ChildProcess {
 public:
  // Out of line, for the reason given in unique_handle.h.
  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;
  ~ChildProcess();

  /// Starts `program` with `args` (not including the program itself), this process's environment
  /// with `env` applied, and its standard error written to the file `stderr_path` (inherited when
  /// empty). Standard input and output are not connected.
  static Result<ChildProcess> Spawn(const std::string& program,
                                    const std::vector<std::string>& args,
                                    const EnvironmentChanges& env, const std::string& stderr_path,
                                    ChildConsole console = ChildConsole::kShared);

  /// Waits up to `timeout_ms` for the child to end; its exit code, or nullopt while it runs.
  std::optional<int> Wait(uint32_t timeout_ms);

  /// Ends the child at once and reaps it; its exit code is then kKilledExitCode.
  void Kill();

  /// Lets go of the child without ending it or waiting for it: it runs on by itself. Never waits,
  /// so that it may run while a library is being unloaded. (On Linux a child that ends later stays
  /// a zombie until this process reaps it or ends.)
  void Release();

  /// Asks a running child to stop, as a terminal or a service manager does: SIGTERM on Linux.
  /// False where that cannot be sent to one child alone (Windows' console events go to a whole
  /// console), or when the child has ended.
  bool RequestStop();

  /// What the running child has used; nullopt once it has ended or when the system cannot tell.
  std::optional<ProcessUsage> Usage() const;

  /// The child's process id, as the system gave it at the start.
  uint32_t id() const { return id_; }

 private:
  /// Ends the child `handle` at once, reaps it and frees the handle.
  static void End(intptr_t handle);
  /// Frees the handle of child `handle` (none on Linux, where it is the process id) without ending
  /// it; -1 is none.
  static void ReleaseHandle(intptr_t handle);
  /// The exit code of a child ended by Kill: 128 + SIGKILL on Linux, 255 on Windows.
  static const int kKilledExitCode;

  ChildProcess(intptr_t handle, uint32_t id) : handle_(handle), id_(id) {}
  UniqueHandle<intptr_t, -1, &ChildProcess::End> handle_;  // the process id on Linux
  uint32_t id_;
  std::optional<int> exit_code_;
};

/// The folder holding the running executable, with a trailing separator.
std::string ExecutableDirectory();

/// The file name of program `base` on this system: "base.exe" or "base".
std::string ExecutableFileName(const std::string& base);

/// Sleeps for `ms` milliseconds.
void SleepMilliseconds(uint32_t ms);

/// A process-unique number for naming pipes and files (the process id).
uint32_t CurrentProcessId();

/// `count` hexadecimal digits (lower case) from the system's random source: a part of a name that
/// others cannot guess.
std::string RandomHexDigits(size_t count);

}  // namespace tarnix::platform
