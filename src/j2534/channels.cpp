// Channels beyond the main one: connecting them with their pins, and disconnecting them.
#include "j2534/channels.h"

#include "j2534/ioctl.h"
#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

// The 05.00 resource record's connector: J1962.
constexpr uint32_t kJ1962Connector = 1;
constexpr PinPair kCanPins = {6, 14};

}  // namespace

Result<PinPair, PassThruError> CheckPins(const wire::Bytes& pins) {
  if (pins.size() != 2) {
    return RefusedError("ERR_J2534_J1962_PINS_FAILED: j1962_pins holds 2 pins, not " +
                        std::to_string(pins.size()));
  }
  return PinPair{pins[0], pins[1]};
}

Result<uint32_t, PassThruError> CallConnect(const PassThruLibrary& library, bool api_0500,
                                            uint32_t device_id, uint32_t protocol_id,
                                            uint32_t flags, uint32_t baud_rate,
                                            const std::optional<PinPair>& pins,
                                            uint32_t& channel_id) {
  channel_id = 0;
  if (api_0500) {
    auto connect = library.Resolve<passthru::PassThruConnect0500Fn>(passthru::Entry::kConnect);
    if (!connect) return std::move(connect).error();
    PinPair list = pins.value_or(kCanPins);
    passthru::ResourceStruct resources{kJ1962Connector, static_cast<uint32_t>(list.size()),
                                       list.data()};
    return static_cast<uint32_t>(
        (*connect)(device_id, protocol_id, flags, baud_rate, resources, &channel_id));
  }
  auto connect = library.Resolve<passthru::PassThruConnectFn>(passthru::Entry::kConnect);
  if (!connect) return std::move(connect).error();
  return static_cast<uint32_t>((*connect)(device_id, protocol_id, flags, baud_rate, &channel_id));
}

Result<void, PassThruError> SetPins(const ChannelRef& channel, const PinPair& pins) {
  if (channel.api_0500) return {};
  const uint32_t value = (pins[0] << 8) | pins[1];
  passthru::SConfig config{passthru::kJ1962Pins, value};
  passthru::SConfigList list{1, &config};
  auto status =
      CallIoctl(channel.library, channel.channel_id, passthru::kSetConfig, &list, nullptr);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) {
    return CallFailedError("J1962_PINS_FAILED", *status, LastErrorText(channel.library));
  }
  return {};
}

Result<uint32_t, PassThruError> ConnectChannel(Connection& connection,
                                               const ChannelParameters& parameters) {
  std::optional<PinPair> pins;
  if (parameters.j1962_pins) {
    auto checked = CheckPins(*parameters.j1962_pins);
    if (!checked) return std::move(checked).error();
    pins = *checked;
  }
  if (connection.channel_count() >= kChannelLimit) {
    return StandInError("ERR_J2534_CONNECT_FAILED: at most " + std::to_string(kChannelLimit) +
                            " channels can be connected at once",
                        passthru::kErrExceededLimit);
  }
  const PassThruLibrary& library = connection.library();
  uint32_t channel_id = 0;
  auto status =
      CallConnect(library, connection.api_0500(), connection.device_id(), parameters.protocol_id,
                  parameters.connect_flags, parameters.baud_rate, pins, channel_id);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) {
    return CallFailedError("CONNECT_FAILED", *status, LastErrorText(library));
  }
  if (pins) {
    auto set = SetPins({library, connection.api_0500(), channel_id, parameters.protocol_id}, *pins);
    if (!set) {
      DisconnectQuietly(library, channel_id);
      return std::move(set).error();
    }
  }
  connection.AddChannel(channel_id, parameters.protocol_id, parameters.buffered);
  return channel_id;
}

Result<void, PassThruError> DisconnectChannel(Connection& connection, Channel& channel) {
  auto disconnect =
      connection.library().Resolve<passthru::PassThruDisconnectFn>(passthru::Entry::kDisconnect);
  if (!disconnect) return std::move(disconnect).error();
  if (channel.id_29bit()) (void)(*disconnect)(*channel.id_29bit());
  auto status = static_cast<uint32_t>((*disconnect)(channel.id()));
  if (status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_DISCONNECT_FAILED:", status);
  connection.RemoveChannel(channel.id());
  return {};
}

PassThruError UnknownChannelError(std::optional<uint32_t> channel_id) {
  std::string text = channel_id
                         ? "channel " + std::to_string(*channel_id) + " is not connected"
                         : std::string("no channel given, and Open's channel is not connected");
  return StandInError("ERR_J2534_INVALID_CHANNEL: " + text, passthru::kErrInvalidChannelId);
}

}  // namespace tarnix::j2534
