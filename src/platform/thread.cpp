// Threads: starting, running the body and joining, the same on every system.
#include "platform/thread.h"

#include <utility>

namespace tarnix::platform {

Result<Thread> Thread::Start(const std::string& name, size_t stack_bytes,
                             std::function<void()> body) {
  auto state = std::make_unique<State>();
  state->name = name;
  state->body = std::move(body);
  Result<intptr_t> native = StartNative(*state, stack_bytes);
  if (!native.ok()) return std::move(native).error();
  state->native = NativeThread(*native);
  return Thread(std::move(state));
}

void Thread::Join() {
  if (state_) state_->native.Reset();
}

void Thread::State::Run() {
  try {
    body();
  } catch (...) {
    // The body owns its error reporting; an escape only ends the thread.
  }
  body = nullptr;
}

}  // namespace tarnix::platform
