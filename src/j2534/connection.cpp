// The open connection, its teardown, and the echo list of recently sent frames.
#include "j2534/connection.h"

#include <algorithm>

#include "passthru/abi.h"
#include "passthru/entry_points.h"

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

void DisconnectQuietly(const PassThruLibrary& library, uint32_t channel_id) {
  auto disconnect = library.Resolve<passthru::PassThruDisconnectFn>(passthru::Entry::kDisconnect);
  if (disconnect) (*disconnect)(channel_id);
}

void CloseQuietly(const PassThruLibrary& library, uint32_t device_id) {
  auto close = library.Resolve<passthru::PassThruCloseFn>(passthru::Entry::kClose);
  if (close) (*close)(device_id);
}

Connection::Connection(PassThruLibrary library, uint32_t device_id, uint32_t channel_id,
                       uint32_t protocol_id, bool api_0500, const Clock& clock)
    : state_(std::make_unique<State>(std::move(library), device_id, channel_id, protocol_id,
                                     api_0500, clock)) {}

Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

void Connection::Release() {
  state_.reset();
}

void Connection::SetChannel29Bit(uint32_t channel_id) {
  state_->channel_29bit = channel_id;
}

MessageArray& Connection::ReceiveRecords(size_t frames) {
  std::optional<MessageArray>& records = state_->receive_records;
  if (!records || records->size() < frames) {
    records = MessageArray::ForReceive(state_->api_0500, state_->protocol_id, frames);
  }
  return *records;
}

MessageArray& Connection::SendRecords(size_t frames) {
  std::optional<MessageArray>& records = state_->send_records;
  if (!records || records->size() < frames) {
    records = MessageArray::ForPacking(state_->api_0500, state_->protocol_id, frames);
  }
  return *records;
}

Connection::State::~State() {
  if (channel_29bit) DisconnectQuietly(library, *channel_29bit);
  DisconnectQuietly(library, channel_id);
  CloseQuietly(library, device_id);
  // The members are destroyed next: the library is unloaded, then the echo list discarded.
}

}  // namespace tarnix::j2534
