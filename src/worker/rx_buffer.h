// The bounded receive buffer: frames pumped from the device, waiting for ReadMessages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wire/types.h"

namespace tarnix::worker {

/// A first-in-first-out ring of received frames bounded in frames and in payload bytes: when a new
/// frame would pass either bound, the oldest frames make room for it and are counted as dropped. A
/// frame larger than the byte bound is still kept, alone. Echoes (ReceivedMessage::echo) are held
/// like any frame; Take leaves them out and TakeEchoes takes only them. Worker thread only.
class RxBuffer {
 public:
  /// No bound on the payload bytes held.
  static constexpr size_t kUnboundedBytes = SIZE_MAX;

  /// Storage for min(capacity, 4096) frames is reserved now and grows on demand. `capacity` and
  /// `capacity_bytes` are at least 1 (the tunables guarantee it).
  explicit RxBuffer(size_t capacity, size_t capacity_bytes = kUnboundedBytes);

  /// Appends one frame, moved in once, dropping the oldest to stay within the bounds (a line at
  /// every power of two of the dropped total), and updates the high-water mark.
  void Push(wire::ReceivedMessage&& frame);

  /// Removes and returns the `count` oldest frames that are no echoes (fewer when fewer are held),
  /// oldest first. The echoes among them are discarded, and so are those after the last frame when
  /// that is the last one held: echoes never keep a frame from ReadMessages, nor pile up behind
  /// it. A take of most of a large ring returns the ring's storage itself and starts a fresh one.
  std::vector<wire::ReceivedMessage> Take(size_t count);

  /// Removes and returns the `count` oldest echoes (fewer when fewer are held), oldest first; the
  /// other frames stay, in their order.
  std::vector<wire::ReceivedMessage> TakeEchoes(size_t count);

  /// Releases every frame; the dropped count and the high-water mark stay.
  void Clear();

  /// Writes the summary line when any frame was dropped; nothing otherwise.
  void ReportAtEnd() const;

  /// Frames held, echoes included.
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  /// Echoes held.
  size_t echoes() const { return echoes_; }
  /// Frames held that Take answers: the frames that are no echoes.
  size_t readable() const { return count_ - echoes_; }
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
  std::vector<wire::ReceivedMessage> TakeStorage(size_t n);
  /// Take of the `n` oldest frames, moved out one by one.
  std::vector<wire::ReceivedMessage> TakeCopied(size_t n);
  /// How many of the oldest frames to remove so that `count` frames that are no echoes go with
  /// them: all of them when fewer are held.
  size_t SlotsHolding(size_t count) const;
  size_t Slot(size_t offset) const { return (head_ + offset) % slots_.size(); }

  std::vector<wire::ReceivedMessage> slots_;  // the ring's storage; size() is its room
  size_t head_ = 0;                           // slot of the oldest frame
  size_t count_ = 0;
  size_t bytes_ = 0;
  size_t echoes_ = 0;
  size_t capacity_;
  size_t capacity_bytes_;
  uint64_t dropped_ = 0;
  size_t high_water_ = 0;
};

}  // namespace tarnix::worker
