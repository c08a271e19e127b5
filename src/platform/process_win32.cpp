// Child processes on Windows: CreateProcessW with a merged environment block and redirected stderr.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <map>

#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {

// Quotes one argument so that the child's command-line splitting gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

// The environment block: this process's variables with the changes applied, sorted, NUL-separated.
std::wstring EnvironmentBlock(const EnvironmentChanges& changes) {
  std::map<std::wstring, std::wstring> merged;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
      const std::wstring text(entry);
      const size_t eq = text.find(L'=', 1);  // names of drive variables start with '='
      if (eq != std::wstring::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
    }
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      merged[Widen(name)] = Widen(*value);
    } else {
      merged.erase(Widen(name));
    }
  }
  std::wstring out;
  for (const auto& [name, value] : merged)
    out += name + L"=" + value + L'\0';
  out.push_back(L'\0');
  return out;
}

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

const int ChildProcess::kKilledExitCode = 255;

bool ChildProcess::RequestStop() {
  return false;
}
const char kNullDevice[] = "NUL";

std::optional<ProcessUsage> ChildProcess::Usage() const {
  if (!handle_.valid()) return std::nullopt;
  HANDLE process = reinterpret_cast<HANDLE>(handle_.get());
  FILETIME created, exited, kernel, user;
  PROCESS_MEMORY_COUNTERS memory{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user) ||
      !::GetProcessMemoryInfo(process, &memory, sizeof memory)) {
    return std::nullopt;
  }
  const auto ticks = [](const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  };
  ProcessUsage usage;
  usage.cpu_seconds = static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;  // 100 ns units
  usage.resident_bytes = memory.WorkingSetSize;
  usage.peak_resident_bytes = memory.PeakWorkingSetSize;
  return usage;
}

void ChildProcess::End(intptr_t handle) {
  HANDLE process = reinterpret_cast<HANDLE>(handle);
  ::TerminateProcess(process, 255);
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
}

void ChildProcess::ReleaseHandle(intptr_t handle) {
  if (handle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

Result<ChildProcess> ChildProcess::Spawn(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const EnvironmentChanges& env,
                                         const std::string& stderr_path, ChildConsole console) {
  std::wstring command = QuoteArgument(Widen(program));
  for (const std::string& arg : args)
    command += L" " + QuoteArgument(Widen(arg));
  std::wstring block = EnvironmentBlock(env);
  HANDLE null_in = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE null_out = InheritableFile(L"NUL", GENERIC_WRITE, OPEN_EXISTING);
  HANDLE err = stderr_path.empty()
                   ? ::GetStdHandle(STD_ERROR_HANDLE)
                   : InheritableFile(Widen(stderr_path), GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_in;
  startup.hStdOutput = null_out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  const DWORD flags =
      CREATE_UNICODE_ENVIRONMENT | (console == ChildConsole::kNone ? CREATE_NO_WINDOW : 0);
  const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags,
                                        block.data(), nullptr, &startup, &info);
  const DWORD code = ::GetLastError();
  ::CloseHandle(null_in);
  ::CloseHandle(null_out);
  if (!stderr_path.empty() && err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
  if (!started) return Fail(SystemErrorText(code));
  ::CloseHandle(info.hThread);
  return ChildProcess(reinterpret_cast<intptr_t>(info.hProcess), info.dwProcessId);
}

std::optional<int> ChildProcess::Wait(uint32_t timeout_ms) {
  if (exit_code_ || !handle_.valid()) return exit_code_;
  HANDLE process = reinterpret_cast<HANDLE>(handle_.get());
  if (::WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_.Take()));
  exit_code_ = static_cast<int>(code);
  return exit_code_;
}

std::string ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Narrow(path.substr(0, path.find_last_of(L"\\/") + 1));
}

std::string ExecutableFileName(const std::string& base) {
  return base + ".exe";
}

uint32_t CurrentProcessId() {
  return ::GetCurrentProcessId();
}

}  // namespace tarnix::platform
