// The bounded receive buffer: frames pumped from the device, waiting for ReadMessages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/payloads.h"

namespace tarnix::worker {

/// A first-in-first-out ring of received frames bounded in frames and in payload bytes: when a new
/// frame would pass either bound, the oldest frames make room for it and are counted as dropped. A
/// frame larger than the byte bound is still kept, alone. Worker thread only.
class RxBuffer {
 public:
  /// No bound on the payload bytes held.
  static constexpr size_t kUnboundedBytes = SIZE_MAX;

  /// Storage for min(capacity, 4096) frames is reserved now and grows on demand. `capacity` and
  /// `capacity_bytes` are at least 1 (the tunables guarantee it).
  explicit RxBuffer(size_t capacity, size_t capacity_bytes = kUnboundedBytes);

  /// Appends one frame, moved in once, dropping the oldest to stay within the bounds (a line at
  /// every power of two of the dropped total), and updates the high-water mark.
  void Push(protocol::ReceivedMessage&& frame);

  /// Appends the frames of one pump cycle in order, as Push does.
  void AppendCycle(std::vector<protocol::ReceivedMessage> frames);

  /// Removes and returns the `count` oldest frames (fewer when fewer are held), oldest first. A
  /// take of most of a large ring returns the ring's storage itself and starts a fresh one.
  std::vector<protocol::ReceivedMessage> Take(size_t count);

  /// Releases every frame; the dropped count and the high-water mark stay.
  void Clear();

  /// Writes the summary line when any frame was dropped; nothing otherwise.
  void ReportAtEnd() const;

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  size_t capacity() const { return capacity_; }
  size_t capacity_bytes() const { return capacity_bytes_; }
  /// Payload bytes of the frames held.
  size_t bytes() const { return bytes_; }
  uint64_t dropped() const { return dropped_; }
  size_t high_water() const { return high_water_; }
  /// Frames the storage can hold before it grows again.
  size_t reserved() const { return slots_.size(); }

 private:
  void DropOldest();
  void Grow();
  /// Slots a fresh ring starts with.
  size_t InitialRoom() const;
  /// Take of the `n` oldest frames that hands the storage over with them.
  std::vector<protocol::ReceivedMessage> TakeStorage(size_t n);
  size_t Slot(size_t offset) const { return (head_ + offset) % slots_.size(); }

  std::vector<protocol::ReceivedMessage> slots_;  // the ring's storage; size() is its room
  size_t head_ = 0;                               // slot of the oldest frame
  size_t count_ = 0;
  size_t bytes_ = 0;
  size_t capacity_;
  size_t capacity_bytes_;
  uint64_t dropped_ = 0;
  size_t high_water_ = 0;
};

}  // namespace tarnix::worker
