// The list of frames recently sent on a channel, by which the device's plain echoes of them are
// recognised.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "common/clock.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Frames recently sent, used to recognise and drop the device's plain echoes of them. Every
/// operation locks the list and first prunes entries 500 ms old or older; the lock is never held
/// across a library call. Each entry cancels at most one received frame. Matching against a list
/// that holds nothing takes neither the lock nor the time.
class EchoList {
 public:
  static constexpr std::chrono::milliseconds kLifetime{500};

  explicit EchoList(const Clock& clock) : clock_(&clock) {}

  /// Appends one entry: `payload` (without the identifier prefix) sent with `arb_id`, now.
  void Add(uint32_t arb_id, const wire::Bytes& payload);

  /// Appends entries for the first `count` of `messages`, in order, all sent now.
  void Add(std::span<const wire::BatchMessage> messages, size_t count);

  /// Removes the oldest entry with identifier `arb_id` and exactly the payload `data`; true when
  /// one was found (the received frame is then an echo and dropped).
  bool Cancel(uint32_t arb_id, const wire::Bytes& data);

  /// Entries alive now.
  size_t Size();

 private:
  /// One sent frame. A classic CAN payload is held in the entry itself: a busy sender adds up
  /// to a million entries a second, and a heap block for each would cost more than the send.
  struct Entry {
    Entry(uint32_t arb_id, std::span<const uint8_t> payload, Clock::TimePoint sent_at);
    bool Matches(uint32_t arb_id, std::span<const uint8_t> data) const;

    Clock::TimePoint sent_at;
    uint32_t arb_id;
    uint32_t size;
    std::array<uint8_t, 8> short_payload{};
    wire::Bytes long_payload;  ///< the payload when longer than short_payload
  };
  void PruneLocked(Clock::TimePoint now);

  const Clock* clock_;
  std::mutex mutex_;
  std::deque<Entry> entries_;
  /// entries_.size(), written under the lock; read without it to skip an empty list.
  std::atomic<size_t> size_{0};
};

}  // namespace tarnix::j2534
