// The receive ring: growth, overflow accounting and its diagnostic lines.
#include "worker/rx_buffer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "log/log.h"

namespace tarnix::worker {
namespace {

/// Storage reserved up front; a larger capacity is reached only by growth.
constexpr size_t kInitialReserve = 4096;

bool IsPowerOfTwo(uint64_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

}  // namespace

RxBuffer::RxBuffer(size_t capacity, size_t capacity_bytes)
    : capacity_(std::max<size_t>(capacity, 1)),
      capacity_bytes_(std::max<size_t>(capacity_bytes, 1)) {
  slots_.resize(InitialRoom());
}

size_t RxBuffer::InitialRoom() const {
  return std::min(capacity_, kInitialReserve);
}

void RxBuffer::Push(wire::ReceivedMessage&& frame) {
  const size_t size = frame.data.size();
  // bytes_ + size would pass the byte bound (written so that it cannot overflow).
  auto too_many_bytes = [&] { return size > capacity_bytes_ || bytes_ > capacity_bytes_ - size; };
  while (count_ != 0 && (count_ == capacity_ || too_many_bytes()))
    DropOldest();
  if (count_ == slots_.size()) Grow();
  if (frame.echo) ++echoes_;
  slots_[Slot(count_)] = std::move(frame);
  ++count_;
  bytes_ += size;
  high_water_ = std::max(high_water_, count_);
}

void RxBuffer::DropOldest() {
  // Releasing the oldest frame moves the ring's start past it.
  bytes_ -= slots_[head_].data.size();
  if (slots_[head_].echo) --echoes_;
  slots_[head_] = {};
  head_ = Slot(1);
  --count_;
  ++dropped_;
  if (IsPowerOfTwo(dropped_)) {
    LogLine("[bridge-worker] RX buffer overflow; dropped " + std::to_string(dropped_) +
            " frame(s)");
  }
}

void RxBuffer::Grow() {
  // Doubling keeps appends amortised constant; the capacity caps the storage.
  const size_t room = slots_.size() > capacity_ / 2 ? capacity_ : slots_.size() * 2;
  std::vector<wire::ReceivedMessage> larger(room);
  for (size_t i = 0; i < count_; ++i)
    larger[i] = std::move(slots_[Slot(i)]);
  slots_ = std::move(larger);
  head_ = 0;
}

std::vector<wire::ReceivedMessage> RxBuffer::Take(size_t count) {
  const size_t n = SlotsHolding(count);
  // A large take that leaves little behind hands the ring's own storage over, so that the
  // frames' records never exist twice while a large answer is written; small takes copy, so
  // that a busy ring is not given up on every read.
  std::vector<wire::ReceivedMessage> taken =
      n > kInitialReserve && n >= count_ - n ? TakeStorage(n) : TakeCopied(n);
  if (echoes_ != 0) {
    echoes_ -= std::erase_if(taken, [](const wire::ReceivedMessage& f) { return f.echo; });
  }
  return taken;
}

size_t RxBuffer::SlotsHolding(size_t count) const {
  if (count >= readable()) return count_;
  if (echoes_ == 0) return count;
  size_t frames = 0;
  size_t offset = 0;
  while (frames < count) {
    if (!slots_[Slot(offset)].echo) ++frames;
    ++offset;
  }
  return offset;
}

std::vector<wire::ReceivedMessage> RxBuffer::TakeCopied(size_t n) {
  std::vector<wire::ReceivedMessage> taken;
  taken.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    // A moved-from frame holds no payload any more; its slot is simply overwritten later.
    bytes_ -= slots_[head_].data.size();
    taken.push_back(std::move(slots_[head_]));
    head_ = Slot(1);
  }
  count_ -= n;
  if (count_ == 0) head_ = 0;
  return taken;
}

std::vector<wire::ReceivedMessage> RxBuffer::TakeEchoes(size_t count) {
  std::vector<wire::ReceivedMessage> taken;
  size_t last = 0;  // one past the offset of the last echo taken
  for (size_t offset = 0; offset < count_ && taken.size() < std::min(count, echoes_); ++offset) {
    wire::ReceivedMessage& frame = slots_[Slot(offset)];
    if (!frame.echo) continue;
    bytes_ -= frame.data.size();
    taken.push_back(std::move(frame));
    last = offset + 1;
  }
  // Every slot before `last` that still holds a frame moves towards it, oldest last, so that the
  // emptied slots end up at the ring's start. A moved-from echo keeps its mark.
  size_t to = last;
  for (size_t from = last; from-- > 0;) {
    wire::ReceivedMessage& frame = slots_[Slot(from)];
    if (frame.echo) continue;
    if (--to != from) slots_[Slot(to)] = std::move(frame);
  }
  for (size_t offset = 0; offset < taken.size(); ++offset)
    slots_[Slot(offset)] = {};
  head_ = Slot(taken.size());
  count_ -= taken.size();
  echoes_ -= taken.size();
  if (count_ == 0) head_ = 0;
  return taken;
}

std::vector<wire::ReceivedMessage> RxBuffer::TakeStorage(size_t n) {
  std::rotate(slots_.begin(), slots_.begin() + static_cast<ptrdiff_t>(head_), slots_.end());
  std::vector<wire::ReceivedMessage> rest(std::max(count_ - n, InitialRoom()));
  bytes_ = 0;
  for (size_t i = n; i < count_; ++i) {
    bytes_ += slots_[i].data.size();
    rest[i - n] = std::move(slots_[i]);
  }
  std::vector<wire::ReceivedMessage> taken = std::move(slots_);
  taken.resize(n);  // only shrinks: the storage stays where it is
  slots_ = std::move(rest);
  head_ = 0;
  count_ -= n;
  return taken;
}

void RxBuffer::Clear() {
  for (size_t i = 0; i < count_; ++i)
    slots_[Slot(i)] = {};
  head_ = 0;
  count_ = 0;
  bytes_ = 0;
  echoes_ = 0;
}

void RxBuffer::ReportAtEnd() const {
  if (dropped_ == 0) return;
  LogLine("[bridge-worker] RX buffer dropped " + std::to_string(dropped_) +
          " frame(s); high-water mark " + std::to_string(high_water_) + " / " +
          std::to_string(capacity_));
}

}  // namespace tarnix::worker
