// Replaying a recording: matching steps in order, releasing and handing out recorded reads.
#include "sim/replay.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "passthru/names.h"
#include "passthru/numbers.h"
#include "trace/encode.h"

namespace tarnix::sim {
namespace {

/// PassThruGetLastError's buffer holds 80 bytes with the terminating zero.
constexpr size_t kTextLimit = 79;
/// Bytes of a message a divergence text shows.
constexpr size_t kShownBytes = 8;

/// "WriteMsgs", or "Ioctl READ_VBATT": a call as a divergence text names it.
std::string Label(const trace::Call& call) {
  std::string label = call.fn.starts_with("PassThru") ? call.fn.substr(8) : call.fn;
  if (call.fn == "PassThruIoctl") {
    const uint64_t id = call.Number("ioctlId").value_or(0);
    label += " " + std::string(
                       passthru::IoctlName(static_cast<uint32_t>(id)).value_or(std::to_string(id)));
  }
  return label;
}

/// Up to kShownBytes of `bytes` in hex around `from`, with ".." where bytes are left out.
std::string Excerpt(const std::vector<uint8_t>& bytes, size_t from) {
  if (bytes.size() <= kShownBytes) return trace::Hex(bytes);
  const size_t start = std::min(from > 2 ? from - 2 : 0, bytes.size() - kShownBytes);
  std::string text = start > 0 ? ".." : "";
  text += trace::Hex(std::span(bytes).subspan(start, kShownBytes));
  if (start + kShownBytes < bytes.size()) text += "..";
  return text;
}

const std::vector<trace::Record>* Messages(const trace::Call& call) {
  const trace::Value* msgs = call.Find("msgs");
  return msgs == nullptr ? nullptr : std::get_if<std::vector<trace::Record>>(msgs);
}

/// Why the written messages differ, or empty when their bytes are the same.
std::string MessageDifference(const trace::Call& expected, const trace::Call& actual) {
  const auto* want = Messages(expected);
  const auto* got = Messages(actual);
  if (want == nullptr || got == nullptr) {
    return want == got ? ""
                       : (want == nullptr ? " null" : " messages") + std::string(", got ") +
                             (got == nullptr ? "null" : "messages");
  }
  if (want->size() != got->size()) {
    return " of " + std::to_string(want->size()) + " messages, got " + std::to_string(got->size());
  }
  for (size_t i = 0; i < want->size(); ++i) {
    const auto& a = (*want)[i].data;
    const auto& b = (*got)[i].data;
    if (a == b) continue;
    const size_t at = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
    return " " + Excerpt(a, at) + ", got " + Excerpt(b, at);
  }
  return "";
}

}  // namespace

Replay::Replay(std::vector<Step> steps, std::vector<Delivery> deliveries,
               std::optional<LastError> initial, size_t last_line)
    : steps_(std::move(steps)), deliveries_(std::move(deliveries)), last_line_(last_line) {
  if (initial) last_error_ = std::move(*initial);
  Release();  // what was read before the first step
}

const trace::Call* Replay::Match(const trace::Call& actual) {
  std::lock_guard lock(mutex_);
  std::string text;
  if (cursor_ == steps_.size()) {
    text = "replay: the recording ended at line " + std::to_string(last_line_) + ", got " +
           Label(actual);
  } else {
    const Step& step = steps_[cursor_];
    const std::string prefix = "replay line " + std::to_string(step.line) + " expected ";
    if (Label(step.call) != Label(actual)) {
      text = prefix + Label(step.call) + ", got " + Label(actual);
    } else if (std::string difference = MessageDifference(step.call, actual); !difference.empty()) {
      text = prefix + Label(step.call) + difference;
    } else {
      ++cursor_;
      if (step.last_error) last_error_ = *step.last_error;
      Release();
      return &step.call;
    }
  }
  text.resize(std::min(text.size(), kTextLimit));
  last_error_ = {0, std::move(text)};
  return nullptr;
}

void Replay::Release() {
  bool any = false;
  while (next_delivery_ < deliveries_.size() &&
         deliveries_[next_delivery_].after_steps <= cursor_) {
    queues_[deliveries_[next_delivery_].channel].push_back({next_delivery_});
    ++next_delivery_;
    any = true;
  }
  if (any) released_.notify_all();
}

Replay::Read Replay::ReadMsgs(uint32_t channel, size_t max, uint32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  std::deque<Pending>& queue = queues_[channel];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  released_.wait_until(lock, deadline, [&] { return !queue.empty(); });
  Read read;
  if (queue.empty()) {
    read.status = timeout_ms == 0 ? passthru::kErrBufferEmpty : passthru::kErrTimeout;
    return read;
  }
  TakeFrom(queue, max, read);
  return read;
}

void Replay::TakeFrom(std::deque<Pending>& queue, size_t max, Read& read) {
  // Successful reads run together; a recorded failure is handed out on its own, with its frames.
  while (!queue.empty() && read.frames.size() < max) {
    Pending& pending = queue.front();
    const Delivery& delivery = deliveries_[pending.delivery];
    if (delivery.status != 0 && !read.frames.empty()) return;
    const size_t n = std::min(max - read.frames.size(), delivery.frames.size() - pending.taken);
    read.frames.insert(read.frames.end(), delivery.frames.begin() + pending.taken,
                       delivery.frames.begin() + pending.taken + n);
    pending.taken += n;
    read.status = delivery.status;
    if (delivery.status == 0 && pending.taken < delivery.frames.size()) return;
    if (delivery.last_error) last_error_ = *delivery.last_error;
    queue.pop_front();
    if (delivery.status != 0) return;
  }
}

Replay::LastError Replay::CurrentLastError() {
  std::lock_guard lock(mutex_);
  return last_error_;
}

}  // namespace tarnix::sim
