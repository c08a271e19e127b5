// The open connection: library, device, channels, and the echo list of recently sent frames.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "common/clock.h"
#include "j2534/library.h"
#include "j2534/records.h"
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

/// What a channel-level call needs: the library, its form, the channel and its protocol.
struct ChannelRef {
  const PassThruLibrary& library;
  bool api_0500;
  uint32_t channel_id;
  uint32_t protocol_id;
};

/// An open connection: built by the connection sequence, owned by the worker thread (movable to
/// it). Destroying it, or Release(), tears it down in a fixed order: disconnect the dedicated
/// 29-bit channel, disconnect the main channel, close the device, unload the library, discard the
/// echo list. A missing entry point is skipped and results are ignored. A moved-from Connection may
/// only be destroyed or assigned to.
class Connection {
 public:
  Connection(PassThruLibrary library, uint32_t device_id, uint32_t channel_id, uint32_t protocol_id,
             bool api_0500, const Clock& clock = SteadyClock());
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;
  ~Connection();

  /// Tears the connection down now; afterwards only destruction is allowed. Idempotent.
  void Release();

  /// Records the dedicated 29-bit channel, which teardown then disconnects first.
  void SetChannel29Bit(uint32_t channel_id);

  const PassThruLibrary& library() const { return state_->library; }
  uint32_t device_id() const { return state_->device_id; }
  uint32_t channel_id() const { return state_->channel_id; }
  uint32_t protocol_id() const { return state_->protocol_id; }
  bool api_0500() const { return state_->api_0500; }
  bool has_29bit_channel() const { return state_->channel_29bit.has_value(); }
  uint32_t channel_29bit_id() const { return state_->channel_29bit.value_or(0); }
  EchoList& echo_list() const { return state_->echo_list; }
  const Clock& clock() const { return *state_->clock; }

  /// At least `frames` receive records, prepared once and kept with the connection: the receive
  /// pump, which drains every poll interval, neither allocates nor clears them each time. Every
  /// read restores what it used (MessageArray::RestoreReceive).
  MessageArray& ReceiveRecords(size_t frames);

  /// At least `frames` send records, kept with the connection for every write; each write zeroes
  /// again what it packed (MessageArray::ClearPacked).
  MessageArray& SendRecords(size_t frames);

  /// The main channel.
  ChannelRef main_channel() const {
    return {state_->library, state_->api_0500, state_->channel_id, state_->protocol_id};
  }

 private:
  struct State {
    State(PassThruLibrary lib, uint32_t device, uint32_t channel, uint32_t protocol, bool v0500,
          const Clock& time)
        : echo_list(time),
          library(std::move(lib)),
          device_id(device),
          channel_id(channel),
          protocol_id(protocol),
          api_0500(v0500),
          clock(&time) {}
    ~State();
    // Declared first so that it is discarded after the library is unloaded.
    mutable EchoList echo_list;
    PassThruLibrary library;
    uint32_t device_id;
    uint32_t channel_id;
    uint32_t protocol_id;
    bool api_0500;
    std::optional<uint32_t> channel_29bit;
    const Clock* clock;
    std::optional<MessageArray> receive_records;
    std::optional<MessageArray> send_records;
  };
  std::unique_ptr<State> state_;
};

/// Calls PassThruDisconnect(channel_id) when the library exports it; the status is ignored.
void DisconnectQuietly(const PassThruLibrary& library, uint32_t channel_id);

/// Calls PassThruClose(device_id) when the library exports it; the status is ignored.
void CloseQuietly(const PassThruLibrary& library, uint32_t device_id);

}  // namespace tarnix::j2534
