// Threads on Linux: pthreads with an explicit stack size and a name (at most 15 bytes).
#include <pthread.h>

#include "platform/system_error.h"
#include "platform/thread.h"

namespace tarnix::platform {

struct Thread::State {
  pthread_t id{};
  bool joinable = false;
  std::string name;
  std::function<void()> body;
};

namespace {

void* Trampoline(void* raw) {
  auto* state = static_cast<Thread::State*>(raw);
  ::pthread_setname_np(::pthread_self(), state->name.substr(0, 15).c_str());
  try {
    state->body();
  } catch (...) {
    // The body owns its error reporting; an escape only ends the thread.
  }
  state->body = nullptr;
  return nullptr;
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
  pthread_attr_t attributes;
  ::pthread_attr_init(&attributes);
  ::pthread_attr_setstacksize(&attributes, stack_bytes);
  const int rc = ::pthread_create(&state->id, &attributes, &Trampoline, state.get());
  ::pthread_attr_destroy(&attributes);
  if (rc != 0) return Fail(SystemErrorText(static_cast<uint32_t>(rc)));
  state->joinable = true;
  return Thread(std::move(state));
}

void Thread::Join() {
  if (state_ && state_->joinable) {
    ::pthread_join(state_->id, nullptr);
    state_->joinable = false;
  }
}

std::string CurrentThreadName() {
  char name[64] = {};
  if (::pthread_getname_np(::pthread_self(), name, sizeof name) != 0) return {};
  return name;
}

}  // namespace tarnix::platform
