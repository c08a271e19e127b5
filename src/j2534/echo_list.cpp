// The list of frames recently sent on a channel.
#include "j2534/echo_list.h"

#include <algorithm>

namespace tarnix::j2534 {

EchoList::Entry::Entry(uint32_t arb_id, std::span<const uint8_t> payload, Clock::TimePoint sent_at)
    : sent_at(sent_at), arb_id(arb_id), size(static_cast<uint32_t>(payload.size())) {
  if (payload.size() <= short_payload.size()) {
    std::copy(payload.begin(), payload.end(), short_payload.begin());
  } else {
    long_payload.assign(payload.begin(), payload.end());
  }
}

bool EchoList::Entry::Matches(uint32_t id, std::span<const uint8_t> data) const {
  if (id != arb_id || data.size() != size) return false;
  const uint8_t* held = size <= short_payload.size() ? short_payload.data() : long_payload.data();
  return std::equal(data.begin(), data.end(), held);
}

void EchoList::PruneLocked(Clock::TimePoint now) {
  // Entries are in order of sending, so the expired ones are at the front.
  while (!entries_.empty() && entries_.front().sent_at <= now - kLifetime)
    entries_.pop_front();
  size_.store(entries_.size(), std::memory_order_release);
}

void EchoList::Add(uint32_t arb_id, const wire::Bytes& payload) {
  std::lock_guard lock(mutex_);
  Clock::TimePoint now = clock_->Now();
  PruneLocked(now);
  entries_.emplace_back(arb_id, payload, now);
  size_.store(entries_.size(), std::memory_order_release);
}

void EchoList::Add(std::span<const wire::BatchMessage> messages, size_t count) {
  std::lock_guard lock(mutex_);
  const Clock::TimePoint now = clock_->Now();
  PruneLocked(now);
  count = std::min(count, messages.size());
  for (size_t i = 0; i < count; ++i) {
    entries_.emplace_back(messages[i].arb_id, messages[i].data, now);
  }
  size_.store(entries_.size(), std::memory_order_release);
}

bool EchoList::Cancel(uint32_t arb_id, const wire::Bytes& data) {
  // Nothing was sent lately: most received frames end here.
  if (size_.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard lock(mutex_);
  PruneLocked(clock_->Now());
  auto match = std::find_if(entries_.begin(), entries_.end(),
                            [&](const Entry& entry) { return entry.Matches(arb_id, data); });
  if (match == entries_.end()) return false;
  entries_.erase(match);
  size_.store(entries_.size(), std::memory_order_release);
  return true;
}

size_t EchoList::Size() {
  std::lock_guard lock(mutex_);
  PruneLocked(clock_->Now());
  return entries_.size();
}

}  // namespace tarnix::j2534
