// Child processes and sleeping: the parts that are the same on every system.
#include "platform/process.h"

#include <chrono>
#include <thread>

namespace tarnix::platform {

ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

void ChildProcess::Kill() {
  if (!handle_.valid()) return;
  handle_.Reset();
  exit_code_ = kKilledExitCode;
}

void SleepMilliseconds(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tarnix::platform
