// The open connection: its channels and its teardown.
#include "j2534/connection.h"

#include <algorithm>

#include "passthru/abi.h"
#include "passthru/entry_points.h"

namespace tarnix::j2534 {

void DisconnectQuietly(const PassThruLibrary& library, uint32_t channel_id) {
  auto disconnect = library.Resolve<passthru::PassThruDisconnectFn>(passthru::Entry::kDisconnect);
  if (disconnect) (*disconnect)(channel_id);
}

void CloseQuietly(const PassThruLibrary& library, uint32_t device_id) {
  auto close = library.Resolve<passthru::PassThruCloseFn>(passthru::Entry::kClose);
  if (close) (*close)(device_id);
}

Connection::Connection(PassThruLibrary library, uint32_t device_id, bool api_0500,
                       const Clock& clock)
    : state_(std::make_unique<State>(std::move(library), device_id, api_0500, clock)) {}

Connection::Connection(PassThruLibrary library, uint32_t device_id, uint32_t channel_id,
                       uint32_t protocol_id, bool api_0500, const Clock& clock)
    : Connection(std::move(library), device_id, api_0500, clock) {
  AddChannel(channel_id, protocol_id, true, true);
}

Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

void Connection::Release() {
  state_.reset();
}

Channel& Connection::AddChannel(uint32_t id, uint32_t protocol_id, bool buffered, bool main) {
  Channel& channel = *state_->channels.emplace_back(
      std::make_unique<Channel>(id, protocol_id, buffered, *state_->clock));
  if (main) state_->main_id = id;
  return channel;
}

void Connection::RemoveChannel(uint32_t id) {
  std::erase_if(state_->channels, [id](const auto& channel) { return channel->id() == id; });
  if (state_->main_id == id) state_->main_id.reset();
}

Channel* Connection::FindChannel(uint32_t id) const {
  for (const auto& channel : state_->channels) {
    if (channel->id() == id) return channel.get();
  }
  return nullptr;
}

Channel* Connection::main() const {
  return state_->main_id ? FindChannel(*state_->main_id) : nullptr;
}

std::vector<Channel*> Connection::channels() const {
  std::vector<Channel*> out;
  for (const auto& channel : state_->channels)
    out.push_back(channel.get());
  return out;
}

size_t Connection::channel_count() const {
  size_t count = 0;
  for (const auto& channel : state_->channels)
    count += channel->id_29bit() ? 2 : 1;
  return count;
}

Connection::State::~State() {
  for (const auto& channel : channels) {
    if (channel->id_29bit()) DisconnectQuietly(library, *channel->id_29bit());
    DisconnectQuietly(library, channel->id());
  }
  CloseQuietly(library, device_id);
  // The members are destroyed next: the library is unloaded, then the channels discarded.
}

}  // namespace tarnix::j2534
