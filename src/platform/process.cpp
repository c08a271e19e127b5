// Child processes and sleeping: the parts that are the same on every system.
#include "platform/process.h"

#include <chrono>
#include <random>
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

void ChildProcess::Release() {
  ReleaseHandle(handle_.Take());
}

void SleepMilliseconds(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string RandomHexDigits(size_t count) {
  // std::random_device reads the system's source on both systems (getrandom, rand_s).
  std::random_device source;
  std::string digits;
  while (digits.size() < count) {
    for (uint32_t word = source(), n = 0; n < 8 && digits.size() < count; ++n, word >>= 4) {
      digits += "0123456789abcdef"[word & 0xF];
    }
  }
  return digits;
}

}  // namespace tarnix::platform
