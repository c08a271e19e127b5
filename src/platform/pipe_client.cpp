// The client end's ownership, writing and line splitting, the same on every system.
#include "platform/pipe_client.h"

#include <algorithm>
#include <chrono>

#include "platform/pipe_io.h"

namespace tarnix::platform {

PipeClient::PipeClient(PipeClient&&) noexcept = default;
PipeClient& PipeClient::operator=(PipeClient&&) noexcept = default;
PipeClient::~PipeClient() = default;

Result<PipeClient> PipeClient::Adopt(SystemHandle handle) {
  return PipeClient(std::move(handle), TransferEvent(), TransferEvent());
}

Result<void> PipeClient::Write(std::string_view bytes) {
  return WritePipe(handle_, bytes, write_event_);
}

bool PipeClient::TakeLine(std::string& line) {
  const size_t lf = pending_.find('\n');
  if (lf == std::string::npos) return false;
  line.assign(pending_, 0, lf);
  pending_.erase(0, lf + 1);
  return true;
}

Result<std::optional<std::string>> PipeClient::ReadLine() {
  for (;;) {
    if (std::string line; TakeLine(line)) return std::optional<std::string>(std::move(line));
    char buffer[4096];
    Result<size_t> got = ReadPipe(handle_, buffer, sizeof buffer, read_event_);
    if (!got) return std::move(got).error();
    if (*got == 0) return std::optional<std::string>();
    pending_.append(buffer, *got);
  }
}

Result<PipeClient::LineWait> PipeClient::ReadLineWithin(uint32_t timeout_ms, std::string& line) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (TakeLine(line)) return LineWait::kLine;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    char buffer[4096];
    Result<std::optional<size_t>> got =
        ReadPipeWithin(handle_, buffer, sizeof buffer,
                       static_cast<uint32_t>(std::max<int64_t>(left, 0)), read_event_);
    if (!got) return std::move(got).error();
    if (!*got) return LineWait::kTimedOut;
    if (**got == 0) return LineWait::kEnd;
    pending_.append(buffer, **got);
  }
}

Result<size_t> PipeClient::Read(char* buffer, size_t size) {
  if (pending_.empty()) return ReadPipe(handle_, buffer, size, read_event_);
  const size_t n = pending_.copy(buffer, size);
  pending_.erase(0, n);
  return n;
}

}  // namespace tarnix::platform
