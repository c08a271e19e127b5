// Threads on Windows: CreateThread with a reserved stack, named where the system supports it.
#include <windows.h>

#include "platform/system_error.h"
#include "platform/thread.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {

// Thread descriptions exist from Windows 10 1607 on; older systems simply go without names.
using SetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return kernel32 != nullptr ? ::GetProcAddress(kernel32, name) : nullptr;
}

DWORD WINAPI Trampoline(void* raw) {
  auto* state = static_cast<Thread::State*>(raw);
  if (auto set = reinterpret_cast<SetDescriptionFn>(
          reinterpret_cast<void*>(Kernel32Function("SetThreadDescription")))) {
    set(::GetCurrentThread(), Widen(state->name).c_str());
  }
  state->Run();
  return 0;
}

}  // namespace

Result<intptr_t> Thread::StartNative(State& state, size_t stack_bytes) {
  DWORD id = 0;
  HANDLE handle = ::CreateThread(nullptr, stack_bytes, &Trampoline, &state,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (handle == nullptr) return Fail(SystemErrorText());
  return reinterpret_cast<intptr_t>(handle);
}

void Thread::JoinNative(intptr_t native) {
  const HANDLE handle = reinterpret_cast<HANDLE>(native);
  ::WaitForSingleObject(handle, INFINITE);
  ::CloseHandle(handle);
}

std::string CurrentThreadName() {
  auto get = reinterpret_cast<GetDescriptionFn>(
      reinterpret_cast<void*>(Kernel32Function("GetThreadDescription")));
  if (get == nullptr) return {};
  wchar_t* text = nullptr;
  if (FAILED(get(::GetCurrentThread(), &text)) || text == nullptr) return {};
  std::string name = Narrow(text);
  ::LocalFree(text);
  return name;
}

}  // namespace tarnix::platform
