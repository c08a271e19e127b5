// The client end's ownership, writing and line splitting, the same on every system.
#include "platform/pipe_client.h"

#include "platform/pipe_io.h"

namespace tarnix::platform {

PipeClient::PipeClient(PipeClient&&) noexcept = default;
PipeClient& PipeClient::operator=(PipeClient&&) noexcept = default;
PipeClient::~PipeClient() = default;

Result<void> PipeClient::Write(std::string_view bytes) {
  return WritePipe(handle_, bytes, transfer_event_);
}

Result<std::optional<std::string>> PipeClient::ReadLine() {
  for (;;) {
    if (const size_t lf = pending_.find('\n'); lf != std::string::npos) {
      std::string line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      return std::optional<std::string>(std::move(line));
    }
    char buffer[4096];
    Result<size_t> got = ReadPipe(handle_, buffer, sizeof buffer, transfer_event_);
    if (!got) return std::move(got).error();
    if (*got == 0) return std::optional<std::string>();
    pending_.append(buffer, *got);
  }
}

Result<size_t> PipeClient::Read(char* buffer, size_t size) {
  if (pending_.empty()) return ReadPipe(handle_, buffer, size, transfer_event_);
  const size_t n = pending_.copy(buffer, size);
  pending_.erase(0, n);
  return n;
}

}  // namespace tarnix::platform
