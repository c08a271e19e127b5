// Threads on Linux: pthreads with an explicit stack size and a name (at most 15 bytes).
#include <pthread.h>

#include <type_traits>

#include "platform/fault_report.h"
#include "platform/stop_signals_posix.h"
#include "platform/system_error.h"
#include "platform/thread.h"

namespace tarnix::platform {
namespace {

// A pthread_t is kept in the portable handle, so it must be a number that fits.
static_assert(std::is_integral_v<pthread_t> && sizeof(pthread_t) <= sizeof(intptr_t));

void* Trampoline(void* raw) {
  auto* state = static_cast<Thread::State*>(raw);
  ::pthread_setname_np(::pthread_self(), state->name.substr(0, 15).c_str());
  const FaultStack fault_stack;
  state->Run();
  return nullptr;
}

}  // namespace

Result<intptr_t> Thread::StartNative(State& state, size_t stack_bytes) {
  pthread_attr_t attributes;
  ::pthread_attr_init(&attributes);
  ::pthread_attr_setstacksize(&attributes, stack_bytes);
  pthread_t id{};
  // The new thread inherits a mask without the stop signals: only the control thread handles
  // them, and a vendor call on the worker is never interrupted by one.
  sigset_t previous;
  BlockStopSignals(&previous);
  const int rc = ::pthread_create(&id, &attributes, &Trampoline, &state);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::pthread_attr_destroy(&attributes);
  if (rc != 0) return Fail(SystemErrorText(static_cast<uint32_t>(rc)));
  return static_cast<intptr_t>(id);
}

void Thread::JoinNative(intptr_t native) {
  ::pthread_join(static_cast<pthread_t>(native), nullptr);
}

std::string CurrentThreadName() {
  char name[64] = {};
  if (::pthread_getname_np(::pthread_self(), name, sizeof name) != 0) return {};
  return name;
}

}  // namespace tarnix::platform
