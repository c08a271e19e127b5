// One connected channel of an open device and what the bridge keeps for it: its protocol, the
// dedicated 29-bit channel that may go with it, the frames recently sent on it, and its records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/clock.h"
#include "j2534/echo_list.h"
#include "j2534/records.h"

namespace tarnix::j2534 {

/// A channel the library connected. Owned by its connection, which disconnects it.
class Channel {
 public:
  Channel(uint32_t id, uint32_t protocol_id, bool buffered, const Clock& clock)
      : id_(id), protocol_id_(protocol_id), buffered_(buffered), echo_list_(clock) {}
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  /// The library's ChannelID, which is also the channel's number on the wire.
  uint32_t id() const { return id_; }
  uint32_t protocol_id() const { return protocol_id_; }
  /// Whether the bridge reads it between requests.
  bool buffered() const { return buffered_; }

  /// The dedicated 29-bit channel read with this one (Open's CAN_ID_BOTH), if any.
  const std::optional<uint32_t>& id_29bit() const { return id_29bit_; }
  void SetId29Bit(uint32_t id) { id_29bit_ = id; }

  EchoList& echo_list() { return echo_list_; }

  /// At least `frames` receive records, prepared once and kept: the receive pump, which drains
  /// every poll interval, neither allocates nor clears them each time. Every read restores what
  /// it used (MessageArray::RestoreReceive).
  MessageArray& ReceiveRecords(bool api_0500, size_t frames);

  /// At least `frames` send records, kept for every write; each write zeroes again what it
  /// packed (MessageArray::ClearPacked).
  MessageArray& SendRecords(bool api_0500, size_t frames);

 private:
  const uint32_t id_;
  const uint32_t protocol_id_;
  const bool buffered_;
  std::optional<uint32_t> id_29bit_;
  EchoList echo_list_;
  std::optional<MessageArray> receive_records_;
  std::optional<MessageArray> send_records_;
};

}  // namespace tarnix::j2534
