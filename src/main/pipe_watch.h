// What the control thread watches on the pipe while a request waits for the worker: the client's
// next request, the client's end, and the bridge's stop requests.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "main/line_reader.h"
#include "platform/pipe_server.h"
#include "platform/wakeup.h"
#include "worker/worker.h"

namespace tarnix::main {

/// The watch over the client's pipe. One wake-up serves every wait: the worker raises it when it
/// answers, a stop request raises it, and the pipe's input ends a wait by itself.
class PipeWatch final : public worker::ReplyWatch {
 public:
  /// Watches `pipe`, whose lines `lines` reads; `wakeup` is the control thread's.
  PipeWatch(platform::PipeReader& pipe, LineReader& lines,
            std::shared_ptr<const platform::Wakeup> wakeup)
      : pipe_(pipe), lines_(lines), wakeup_(std::move(wakeup)) {}

  std::function<void()> Notifier() override;

  /// Waits for the wake-up and, until a next request has begun or the input ended, for input too,
  /// which it then reads ahead (one read, at most LineReader::kBufferSize bytes).
  void Wait(std::chrono::milliseconds limit) override;

  /// A stop request, or the client's end closed (PipeReader::PeerGone).
  bool Abandon() override;

  bool NextRequestBegun() override { return lines_.NextLineBegun(); }

 private:
  platform::PipeReader& pipe_;
  LineReader& lines_;
  std::shared_ptr<const platform::Wakeup> wakeup_;
};

/// The byte source of the loop's LineReader: waits for input on `pipe`, and then reads it, or for
/// a stop request (StopRequest), which fails the read with kStopRequested.
ByteSource PipeSource(platform::PipeReader& pipe, std::shared_ptr<const platform::Wakeup> wakeup);

}  // namespace tarnix::main
