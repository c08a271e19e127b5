// Faults on Windows: an unhandled-exception filter that names the exception, its address and the
// module holding it, then ends the process. It runs on the faulting thread; it allocates nothing.
#include <windows.h>

#include <csignal>

#include "platform/fault_report.h"

namespace tarnix::platform {
namespace {

// The thread reporting a fault; 0 while none is.
volatile LONG g_reporter = 0;

// The exception's name, for memory faults with the access and its address, and its code.
FaultText Describe(const EXCEPTION_RECORD& record) {
  FaultText what;
  switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
      what.Add(record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION ? "access violation"
                                                                  : "in-page error");
      if (record.NumberParameters >= 2) {
        const ULONG_PTR access = record.ExceptionInformation[0];
        what.Add(access == 0 ? " reading " : access == 8 ? " executing " : " writing ");
        what.Hex(record.ExceptionInformation[1]);
      }
      break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      what.Add("illegal instruction");
      break;
    case EXCEPTION_PRIV_INSTRUCTION:
      what.Add("privileged instruction");
      break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      what.Add("integer division by zero");
      break;
    case EXCEPTION_STACK_OVERFLOW:
      what.Add("stack overflow");
      break;
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      what.Add("misaligned access");
      break;
    default:
      what.Add("exception");
      break;
  }
  return what.Add(" (exception ").Hex(record.ExceptionCode).Add(")");
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  const auto self = static_cast<LONG>(::GetCurrentThreadId());
  const LONG reporter = ::InterlockedCompareExchange(&g_reporter, self, 0);
  if (reporter != 0) {
    // A fault while reporting one ends the process at once; another thread's waits for the end.
    if (reporter == self) ::TerminateProcess(::GetCurrentProcess(), kFaultExitCode);
    ::Sleep(INFINITE);
  }
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const auto address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  const FaultText what = Describe(record);
  Fault fault;
  fault.what = what.view();
  fault.address = address;
  fault.call = CurrentCallInFlight();
  HMODULE module = nullptr;
  wchar_t path[MAX_PATH];
  char name[3 * MAX_PATH];
  if (::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(record.ExceptionAddress), &module)) {
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    DWORD start = length;
    while (start > 0 && path[start - 1] != L'\\' && path[start - 1] != L'/')
      --start;
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, path + start, static_cast<int>(length - start), name,
                              static_cast<int>(sizeof name), nullptr, nullptr);
    if (size > 0) {
      fault.module = std::string_view(name, static_cast<size_t>(size));
      fault.module_offset = address - reinterpret_cast<uintptr_t>(module);
    }
  }
  ReportFault(fault);
  ::TerminateProcess(::GetCurrentProcess(), kFaultExitCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// A library that calls abort (its own runtime does when an exception finds no handler, as one
// thrown through the 32-bit loader does) ends the process with no exception to filter; the C
// runtime, shared by every module, raises SIGABRT first.
void OnAbort(int) {
  const auto self = static_cast<LONG>(::GetCurrentThreadId());
  if (::InterlockedCompareExchange(&g_reporter, self, 0) != 0) {
    ::TerminateProcess(::GetCurrentProcess(), kFaultExitCode);
  }
  Fault fault;
  fault.what = "abort";
  fault.located = false;
  fault.call = CurrentCallInFlight();
  ReportFault(fault);
  ::TerminateProcess(::GetCurrentProcess(), kFaultExitCode);
}

}  // namespace

void InstallFaultReport() {
  ::SetUnhandledExceptionFilter(&OnUnhandledException);
  std::signal(SIGABRT, &OnAbort);
  ReportUncaughtExceptions();
}

// The filter runs on the faulting thread's own stack, which the system extends for it even after
// a stack overflow.
FaultStack::FaultStack() = default;
FaultStack::~FaultStack() = default;

void WriteToHandle(intptr_t handle, std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle), bytes.data(),
                     static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    bytes.remove_prefix(written);
  }
}

}  // namespace tarnix::platform
