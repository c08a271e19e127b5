// The open connection: library, device and channels; and the port through which an operation
// acts on one channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/clock.h"
#include "j2534/channel.h"
#include "j2534/library.h"
#include "j2534/records.h"

namespace tarnix::j2534 {

/// What a channel-level call needs: the library, its form, the channel and its protocol.
struct ChannelRef {
  const PassThruLibrary& library;
  bool api_0500;
  uint32_t channel_id;
  uint32_t protocol_id;
};

/// At most this many channels are connected at once, dedicated 29-bit channels included.
inline constexpr size_t kChannelLimit = 16;

/// An open connection: the library, the device and its channels, owned by the worker thread
/// (movable to it). Destroying it, or Release(), tears it down in a fixed order: every channel in
/// the order it was connected (a channel's dedicated 29-bit channel before it), then the device,
/// then the library, then the channels' records and echo lists. Each entry point is resolved just
/// before its call; a missing one is skipped and results are ignored. A moved-from Connection may
/// only be destroyed or assigned to.
class Connection {
 public:
  /// The device alone: channels come from AddChannel.
  Connection(PassThruLibrary library, uint32_t device_id, bool api_0500,
             const Clock& clock = SteadyClock());
  /// The device with its main channel.
  Connection(PassThruLibrary library, uint32_t device_id, uint32_t channel_id, uint32_t protocol_id,
             bool api_0500, const Clock& clock = SteadyClock());
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;
  ~Connection();

  /// Tears the connection down now; afterwards only destruction is allowed. Idempotent.
  void Release();

  /// Records a channel the library connected, which teardown then disconnects; `main` makes it
  /// the channel that requests without a channel act on.
  Channel& AddChannel(uint32_t id, uint32_t protocol_id, bool buffered, bool main = false);
  /// Forgets a channel the library disconnected (and the main channel, when it was that one).
  void RemoveChannel(uint32_t id);
  /// The channel with the library's ChannelID `id`, or null.
  Channel* FindChannel(uint32_t id) const;
  /// The main channel, or null (the device alone, or its channel disconnected).
  Channel* main() const;
  /// The channels in the order they were connected.
  std::vector<Channel*> channels() const;
  /// Channels connected now, dedicated 29-bit channels included.
  size_t channel_count() const;

  const PassThruLibrary& library() const { return state_->library; }
  uint32_t device_id() const { return state_->device_id; }
  bool api_0500() const { return state_->api_0500; }
  const Clock& clock() const { return *state_->clock; }

  // The main channel's properties (it must exist), for callers that know only it.
  uint32_t channel_id() const { return main()->id(); }
  uint32_t protocol_id() const { return main()->protocol_id(); }
  bool has_29bit_channel() const { return main()->id_29bit().has_value(); }
  uint32_t channel_29bit_id() const { return main()->id_29bit().value_or(0); }
  EchoList& echo_list() const { return main()->echo_list(); }
  /// Records the dedicated 29-bit channel of the main channel.
  void SetChannel29Bit(uint32_t channel_id) { main()->SetId29Bit(channel_id); }

 private:
  struct State {
    State(PassThruLibrary lib, uint32_t device, bool v0500, const Clock& time)
        : library(std::move(lib)), device_id(device), api_0500(v0500), clock(&time) {}
    ~State();
    // Declared first so that they are discarded after the library is unloaded.
    std::vector<std::unique_ptr<Channel>> channels;
    PassThruLibrary library;
    uint32_t device_id;
    bool api_0500;
    const Clock* clock;
    std::optional<uint32_t> main_id;
  };
  std::unique_ptr<State> state_;
};

/// A channel of a connection: what every channel operation acts through. It converts from a
/// Connection, meaning its main channel (which must exist). Both must outlive it.
class Port {
 public:
  Port(const Connection& connection, Channel& channel)
      : connection_(&connection), channel_(&channel) {}
  Port(const Connection& connection)  // NOLINT: implicit by design, the main channel
      : connection_(&connection), channel_(connection.main()) {}

  const PassThruLibrary& library() const { return connection_->library(); }
  bool api_0500() const { return connection_->api_0500(); }
  uint32_t device_id() const { return connection_->device_id(); }
  const Clock& clock() const { return connection_->clock(); }
  const Connection& connection() const { return *connection_; }
  Channel& channel() const { return *channel_; }

  uint32_t channel_id() const { return channel_->id(); }
  uint32_t protocol_id() const { return channel_->protocol_id(); }
  EchoList& echo_list() const { return channel_->echo_list(); }
  bool has_29bit_channel() const { return channel_->id_29bit().has_value(); }
  uint32_t channel_29bit_id() const { return channel_->id_29bit().value_or(0); }
  MessageArray& ReceiveRecords(size_t frames) const {
    return channel_->ReceiveRecords(api_0500(), frames);
  }
  MessageArray& SendRecords(size_t frames) const {
    return channel_->SendRecords(api_0500(), frames);
  }
  /// The channel as a channel-level call needs it.
  ChannelRef ref() const { return {library(), api_0500(), channel_id(), protocol_id()}; }
  /// The same, kept for callers written before ports.
  ChannelRef main_channel() const { return ref(); }

 private:
  const Connection* connection_;
  Channel* channel_;
};

/// Calls PassThruDisconnect(channel_id) when the library exports it; the status is ignored.
void DisconnectQuietly(const PassThruLibrary& library, uint32_t channel_id);

/// Calls PassThruClose(device_id) when the library exports it; the status is ignored.
void CloseQuietly(const PassThruLibrary& library, uint32_t device_id);

}  // namespace tarnix::j2534
