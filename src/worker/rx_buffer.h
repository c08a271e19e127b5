// The bounded receive buffer: frames pumped from the device, waiting for ReadMessages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/payloads.h"

namespace tarnix::worker {

/// A first-in-first-out ring of received frames that never holds more than its capacity: when
/// full, the oldest frame makes room for the newest and is counted as dropped. Worker thread only.
class RxBuffer {
 public:
  /// Storage for min(capacity, 4096) frames is reserved now and grows on demand. `capacity` is at
  /// least 1 (the tunables guarantee it).
  explicit RxBuffer(size_t capacity);

  /// Appends the frames of one pump cycle in order, dropping the oldest on overflow (a line at
  /// every power of two of the dropped total), then updates the high-water mark.
  void AppendCycle(std::vector<protocol::ReceivedMessage> frames);

  /// Removes and returns the `count` oldest frames (fewer when fewer are held), oldest first.
  std::vector<protocol::ReceivedMessage> Take(size_t count);

  /// Releases every frame; the dropped count and the high-water mark stay.
  void Clear();

  /// Writes the summary line when any frame was dropped; nothing otherwise.
  void ReportAtEnd() const;

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  size_t capacity() const { return capacity_; }
  uint64_t dropped() const { return dropped_; }
  size_t high_water() const { return high_water_; }
  /// Frames the storage can hold before it grows again.
  size_t reserved() const { return slots_.size(); }

 private:
  void Push(protocol::ReceivedMessage frame);
  void Grow();
  size_t Slot(size_t offset) const { return (head_ + offset) % slots_.size(); }

  std::vector<protocol::ReceivedMessage> slots_;  // the ring's storage; size() is its room
  size_t head_ = 0;                               // slot of the oldest frame
  size_t count_ = 0;
  size_t capacity_;
  uint64_t dropped_ = 0;
  size_t high_water_ = 0;
};

}  // namespace tarnix::worker
