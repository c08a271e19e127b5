// The simulated device beyond the basics: J1962 pins of pin-switched channels, J1850PWM lookup
// tables, single-wire CAN speeds, and what ptsim's own ioctls read and write.
#include <algorithm>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "sim/device.h"

namespace tarnix::sim {
namespace {

constexpr uint32_t kEcuPins = 0x060E;  // J1962 pins 6 (CAN high) and 14 (CAN low)

/// A J1962 pin that may carry a bus: 1 to 16 but ground (4, 5) and battery (16).
bool IsBusPin(uint32_t pin) {
  return pin >= 1 && pin <= 15 && pin != 4 && pin != 5;
}

}  // namespace

Status Device::PinsReady(const Channel& channel) const {
  if (!settings_->strict || !passthru::IsPinSwitched(channel.protocol) || channel.pins) return {};
  return Refuse(passthru::kErrPinInvalid,
                "J1962_PINS is not set on pin-switched channel " + std::to_string(channel.id));
}

bool Device::OnEcuBus(const Channel& channel) const {
  if (!passthru::IsPinSwitched(channel.protocol)) return true;
  // A lenient device takes a pin-switched channel without pins as one on the usual CAN pins.
  return channel.pins.value_or(settings_->strict ? 0 : kEcuPins) == kEcuPins;
}

Status Device::SetPins(Channel& channel, uint32_t value) {
  if (!passthru::IsPinSwitched(channel.protocol)) {
    return Refuse(passthru::kErrNotSupported, "J1962_PINS is for pin-switched channels only");
  }
  const uint32_t first = (value >> 8) & 0xFF;
  const uint32_t second = value & 0xFF;
  // Single-wire CAN has one wire; the others two distinct ones.
  const bool sound =
      (value >> 16) == 0 && IsBusPin(first) &&
      (passthru::IsSingleWire(channel.protocol) ? second == 0
                                                : IsBusPin(second) && second != first);
  if (!sound) {
    return Refuse(passthru::kErrPinInvalid,
                  "J1962_PINS " + std::to_string(value) + " (pins " + std::to_string(first) +
                      " and " + std::to_string(second) + ") does not suit protocol " +
                      std::to_string(channel.protocol));
  }
  channel.pins = value;
  return {};
}

Status Device::LookupTable(uint32_t channel_id, uint32_t ioctl,
                           const std::vector<uint8_t>& addresses) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (channel->protocol != passthru::kJ1850Pwm) {
    return Refuse(passthru::kErrNotSupported, "functional lookup tables are J1850PWM only");
  }
  std::vector<uint8_t>& table = channel->functional;
  if (ioctl == passthru::kClearFunctMsgLookupTable) {
    table.clear();
  } else if (ioctl == passthru::kAddToFunctMsgLookupTable) {
    for (uint8_t address : addresses) {
      if (std::find(table.begin(), table.end(), address) == table.end()) table.push_back(address);
    }
  } else {
    std::erase_if(table, [&](uint8_t a) {
      return std::find(addresses.begin(), addresses.end(), a) != addresses.end();
    });
  }
  return {};
}

Status Device::SingleWireSpeed(uint32_t channel_id, bool high) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (!passthru::IsSingleWire(channel->protocol)) {
    return Refuse(passthru::kErrNotSupported,
                  "SW_CAN_HS and SW_CAN_NS are for single-wire CAN only");
  }
  channel->high_speed = high;
  return {};
}

Status Device::CheckHandle(uint32_t handle) {
  std::lock_guard lock(mutex_);
  if (open_ && (handle == kDeviceId || FindChannel(handle) != nullptr)) return {};
  return Refuse(passthru::kErrInvalidChannelId,
                "handle " + std::to_string(handle) + " is not open");
}

Status Device::Queued(uint32_t channel_id, uint32_t& count) {
  std::lock_guard lock(mutex_);
  RunPeriodic(now_());
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  count = static_cast<uint32_t>(channel->received.size());
  return {};
}

Status Device::Inject(uint32_t channel_id, const Frame& frame) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (frame.protocol != channel->protocol) {
    return Refuse(passthru::kErrMsgProtocolId, "the message must have the channel's protocol " +
                                                   std::to_string(channel->protocol));
  }
  Frame received = frame;
  received.timestamp = Timestamp(now_());
  Queue(*channel, std::move(received));
  return {};
}

Status Device::LastSent(uint32_t channel_id, Frame& frame) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (!channel->last_sent) return Refuse(passthru::kErrBufferEmpty, "nothing was written yet");
  frame = *channel->last_sent;
  return {};
}

}  // namespace tarnix::sim
