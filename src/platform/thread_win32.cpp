// Threads on Windows: CreateThread with a reserved stack, named where the system supports it.
#include <windows.h>

#include "platform/system_error.h"
#include "platform/thread.h"
#include "platform/win32_text.h"

namespace tarnix::platform {

struct Thread::State {
  HANDLE handle = nullptr;
  std::string name;
  std::function<void()> body;
};

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
  try {
    state->body();
  } catch (...) {
    // The body owns its error reporting; an escape only ends the thread.
  }
  state->body = nullptr;
  return 0;
}

}  // namespace

Thread::Thread(std::unique_ptr<State> state) : state_(std::move(state)) {}

Thread::Thread(Thread&& other) noexcept : state_(std::move(other.state_)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    Join();
    state_ = std::move(other.state_);
  }
  return *this;
}

Thread::~Thread() {
  Join();
}

Result<Thread> Thread::Start(const std::string& name, size_t stack_bytes,
                             std::function<void()> body) {
  auto state = std::make_unique<State>();
  state->name = name;
  state->body = std::move(body);
  DWORD id = 0;
  state->handle = ::CreateThread(nullptr, stack_bytes, &Trampoline, state.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (state->handle == nullptr) return Fail(SystemErrorText(::GetLastError()));
  return Thread(std::move(state));
}

void Thread::Join() {
  if (state_ && state_->handle != nullptr) {
    ::WaitForSingleObject(state_->handle, INFINITE);
    ::CloseHandle(state_->handle);
    state_->handle = nullptr;
  }
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
