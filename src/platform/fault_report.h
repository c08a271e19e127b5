// Faults (an access violation, SIGSEGV...) explained before the process ends: one last
// standard-error line naming the fault, its address, its module and the library call in flight,
// the trace's last line, and an exit code of their own. A process cannot go on safely after a
// fault; it can still say what happened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnix::platform {

class AppendFile;

/// The exit code of a process ended by a fault.
inline constexpr int kFaultExitCode = 4;

/// Installs the process's fault handling: on Windows an unhandled-exception filter and a SIGABRT
/// handler, on Linux
/// handlers of SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT that run on an alternate stack (the
/// calling thread's, and one for each Thread), so that a stack overflow is reported too. A fault
/// then writes FaultLine to standard error and the crashed line to the trace registered with
/// SetFaultTrace, neither allocating nor locking, and ends the process at once with
/// kFaultExitCode. A second fault meanwhile waits for the first one's end. An exception that
/// nothing catches is reported the same way (ReportUncaughtExceptions).
void InstallFaultReport();

/// Names the library call about to run (static text) for the fault line, until the scope ends.
/// Two relaxed atomic stores: cheap enough around every call.
class CallInFlight {
 public:
  explicit CallInFlight(const char* name) noexcept;
  ~CallInFlight();
  CallInFlight(const CallInFlight&) = delete;
  CallInFlight& operator=(const CallInFlight&) = delete;

 private:
  const char* previous_;
};

/// The call named by the innermost CallInFlight still in scope (on whichever thread), or null.
const char* CurrentCallInFlight() noexcept;

/// Registers `file` (null: none) as the trace whose last line a fault writes: `head`, then the call
/// in flight as a JSON string (or null), then `tail` and a line feed. The texts and the file must
/// outlive the registration; one file at a time.
void SetFaultTrace(const AppendFile* file, const char* head, const char* tail) noexcept;

/// Gives the calling thread, while it lives, a stack of its own for reporting a fault, a stack
/// overflow included (Linux; nothing elsewhere). Thread gives one to each thread it starts.
class FaultStack {
 public:
  FaultStack();
  ~FaultStack();
  FaultStack(const FaultStack&) = delete;
  FaultStack& operator=(const FaultStack&) = delete;

 private:
  void* memory_ = nullptr;
};

/// A text built in place, never allocating: what a fault handler may use. What does not fit its
/// 512 bytes is cut.
class FaultText {
 public:
  FaultText& Add(std::string_view text) noexcept;
  /// `value` as "0x" and lowercase hexadecimal digits, without leading zeros.
  FaultText& Hex(uint64_t value) noexcept;
  /// Ends the text with a line feed, in place of its last byte when it is full.
  FaultText& EndLine() noexcept;
  std::string_view view() const noexcept { return {buffer_, size_}; }

 private:
  char buffer_[512];
  size_t size_ = 0;
};

/// What a handler learnt about one fault.
struct Fault {
  std::string_view what;       ///< "SIGSEGV (address 0x0)", "access violation writing 0x0 ..."
  uint64_t address = 0;        ///< the faulting instruction's
  std::string_view module;     ///< file name of the module holding it; empty when unknown
  uint64_t module_offset = 0;  ///< the address within that module
  const char* call = nullptr;  ///< the library call in flight, or null
  bool located = true;         ///< false: no address or module is known (an uncaught exception)
};

/// "[bridge] Fatal fault: " + what + " at 0x<address> in <module>+0x<offset>" (or "in an unknown
/// module"; neither when not `located`) + " during <call>" (or ", no PassThru call in flight") +
/// a line feed.
FaultText FaultLine(const Fault& fault) noexcept;

/// Writes the fault line and the trace's crashed line; the handlers' common part.
void ReportFault(const Fault& fault) noexcept;

/// Makes an exception that nothing catches (std::terminate: one thrown by a library's start-up
/// code through the system's loader, say) a fault too: reported with the call in flight, ending
/// the process with kFaultExitCode. Part of InstallFaultReport.
void ReportUncaughtExceptions();

/// Writes all of `bytes` to the open file `handle`, with no allocation (for ReportFault).
void WriteToHandle(intptr_t handle, std::string_view bytes) noexcept;

}  // namespace tarnix::platform
