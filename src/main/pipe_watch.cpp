// The control thread's waits on the pipe: for input, for the worker's word, for a stop request.
#include "main/pipe_watch.h"

#include <optional>
#include <utility>

#include "platform/stop_request.h"

namespace tarnix::main {

std::function<void()> PipeWatch::Notifier() {
  return [wakeup = wakeup_] { wakeup->Raise(); };
}

void PipeWatch::Wait(std::chrono::milliseconds limit) {
  if (lines_.NextLineBegun() || lines_.SourceEnded()) {
    wakeup_->Wait(limit);
    return;
  }
  if (pipe_.WaitForInput(*wakeup_, limit) == platform::InputWait::kInput) lines_.Prefetch();
}

bool PipeWatch::Abandon() {
  return platform::StopRequest() != nullptr || pipe_.PeerGone();
}

ByteSource PipeSource(platform::PipeReader& pipe, std::shared_ptr<const platform::Wakeup> wakeup) {
  return [&pipe, wakeup = std::move(wakeup)](char* buffer, size_t size) -> Result<size_t> {
    for (;;) {
      if (platform::StopRequest() != nullptr) return Fail(platform::kStopRequested);
      if (pipe.WaitForInput(*wakeup, std::nullopt) == platform::InputWait::kInput) {
        return pipe.Read(buffer, size);
      }
    }
  };
}

}  // namespace tarnix::main
