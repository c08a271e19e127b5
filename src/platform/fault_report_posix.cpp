// Faults on Linux: handlers of SIGSEGV, SIGBUS, SIGILL and SIGFPE on an alternate stack, which use
// only async-signal-safe calls. The module holding the faulting instruction comes from
// /proc/self/maps, read with open(2) and read(2) into buffers on the stack.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string_view>

#include "platform/fault_report.h"

namespace tarnix::platform {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kStackBytes = 64 * 1024;

// The thread reporting a fault; 0 while none is.
std::atomic<long> g_reporter{0};

uint64_t InstructionAddress(const void* context) {
  const auto& machine = static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  return static_cast<uint64_t>(machine.gregs[REG_RIP]);
#elif defined(__i386__)
  return static_cast<uint64_t>(machine.gregs[REG_EIP]);
#elif defined(__aarch64__)
  return machine.pc;
#else
  (void)machine;
  return 0;
#endif
}

// The signal's name, and for memory faults the address that was touched.
FaultText Describe(int signal, const siginfo_t& info) {
  FaultText what;
  const auto touched = reinterpret_cast<uintptr_t>(info.si_addr);
  switch (signal) {
    case SIGSEGV:
      return what.Add("SIGSEGV (address ").Hex(touched).Add(")");
    case SIGBUS:
      return what.Add("SIGBUS (address ").Hex(touched).Add(")");
    case SIGILL:
      return what.Add("SIGILL (illegal instruction)");
    case SIGABRT:
      return what.Add("SIGABRT (abort)");
    default:
      return what.Add(info.si_code == FPE_INTDIV ? "SIGFPE (integer division by zero)"
                                                 : "SIGFPE (arithmetic error)");
  }
}

// Consumes the hexadecimal number at the start of `text`.
bool TakeHex(std::string_view& text, uint64_t& value) {
  value = 0;
  size_t n = 0;
  for (; n < text.size() && n < 16; ++n) {
    const char c = text[n];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) break;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  text.remove_prefix(n);
  return n > 0;
}

// Consumes one field and the blanks after it.
void SkipField(std::string_view& text) {
  while (!text.empty() && text.front() != ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
}

/// The file holding an address: its name (in `name`) and the address's offset in it.
struct Mapping {
  char name[256];
  size_t name_size = 0;
  uint64_t offset = 0;
};

// A line "start-end perms offset device inode path" whose range holds `address`.
bool MatchLine(std::string_view line, uint64_t address, Mapping& out) {
  uint64_t start = 0;
  uint64_t end = 0;
  uint64_t offset = 0;
  if (!TakeHex(line, start) || line.empty() || line.front() != '-') return false;
  line.remove_prefix(1);
  if (!TakeHex(line, end) || address < start || address >= end) return false;
  SkipField(line);  // the blank after the range
  SkipField(line);  // the permissions
  if (!TakeHex(line, offset)) return false;
  SkipField(line);  // the blank after the offset
  SkipField(line);  // the device
  SkipField(line);  // the inode
  const size_t slash = line.rfind('/');
  if (slash != std::string_view::npos) line.remove_prefix(slash + 1);
  out.name_size = std::min(line.size(), sizeof out.name);
  for (size_t i = 0; i < out.name_size; ++i)
    out.name[i] = line[i];
  out.offset = address - start + offset;
  return out.name_size > 0;
}

bool FindMapping(uint64_t address, Mapping& out) {
  const int file = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  char chunk[4096];
  char line[1024];  // longer lines are cut: only the file name's end could be lost
  size_t line_size = 0;
  bool found = false;
  while (!found) {
    const ssize_t n = ::read(file, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && !found; ++i) {
      if (chunk[i] == '\n') {
        found = MatchLine(std::string_view(line, line_size), address, out);
        line_size = 0;
      } else if (line_size < sizeof line) {
        line[line_size++] = chunk[i];
      }
    }
  }
  ::close(file);
  return found;
}

void OnFault(int signal, siginfo_t* info, void* context) {
  const long self = ::syscall(SYS_gettid);
  long none = 0;
  if (!g_reporter.compare_exchange_strong(none, self)) {
    // A fault while reporting one ends the process at once; another thread's waits for the end.
    if (none == self) ::_exit(kFaultExitCode);
    for (;;)
      ::pause();
  }
  const uint64_t address = InstructionAddress(context);
  Mapping mapping;
  const bool known = FindMapping(address, mapping);
  const FaultText what = Describe(signal, *info);
  Fault fault;
  fault.what = what.view();
  fault.address = address;
  if (known) fault.module = std::string_view(mapping.name, mapping.name_size);
  fault.module_offset = known ? mapping.offset : 0;
  fault.call = CurrentCallInFlight();
  ReportFault(fault);
  ::_exit(kFaultExitCode);
}

}  // namespace

void InstallFaultReport() {
  static FaultStack stack;  // the installing thread's
  struct sigaction action {};
  action.sa_sigaction = &OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals)
    ::sigaction(signal, &action, nullptr);
  ReportUncaughtExceptions();
}

FaultStack::FaultStack() {
  // A thread that has an alternate stack already (a sanitizer's, say) keeps it.
  stack_t current{};
  if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
  void* memory =
      ::mmap(nullptr, kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kStackBytes;
  if (::sigaltstack(&stack, nullptr) != 0) {
    ::munmap(memory, kStackBytes);
    return;
  }
  memory_ = memory;
}

FaultStack::~FaultStack() {
  if (memory_ == nullptr) return;
  stack_t off{};
  off.ss_flags = SS_DISABLE;
  ::sigaltstack(&off, nullptr);
  ::munmap(memory_, kStackBytes);
}

void WriteToHandle(intptr_t handle, std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    const ssize_t n = ::write(static_cast<int>(handle), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace tarnix::platform
