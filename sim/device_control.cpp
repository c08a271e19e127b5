// The simulated device's filters, periodic messages, configuration, voltages and K-Line wake-ups.
#include <algorithm>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "sim/device.h"

namespace tarnix::sim {
namespace {

constexpr uint32_t kMinInterval = 5;
constexpr uint32_t kMaxInterval = 65535;
constexpr size_t kMaxFilterBytes = 12;

std::string IoctlLabel(uint32_t ioctl) {
  return std::string(passthru::IoctlName(ioctl).value_or("the ioctl"));
}

bool IsProgrammingPin(uint32_t pin) {
  constexpr uint32_t kPins[] = {0, 6, 9, 11, 12, 13, 14, 15};
  return std::find(std::begin(kPins), std::end(kPins), pin) != std::end(kPins);
}

}  // namespace

Status Device::StartPeriodic(uint32_t channel_id, const Frame& frame, uint32_t interval_ms,
                             uint32_t& msg_id) {
  std::lock_guard lock(mutex_);
  const auto now = now_();
  RunPeriodic(now);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (Status ready = PinsReady(*channel); !ready.ok()) return ready;
  if (frame.protocol != channel->protocol) {
    return Refuse(passthru::kErrMsgProtocolId,
                  "the message has protocol " + std::to_string(frame.protocol) +
                      " on a channel of protocol " + std::to_string(channel->protocol));
  }
  const bool can = passthru::IsCanLike(channel->protocol);
  const size_t minimum = can ? 4 : 1;
  const size_t maximum = can ? 12 : passthru::kMaxDataSize;
  if (frame.data.size() < minimum || frame.data.size() > maximum) {
    return Refuse(passthru::kErrInvalidMsg,
                  "a periodic message of protocol " + std::to_string(channel->protocol) + " has " +
                      std::to_string(minimum) + " to " + std::to_string(maximum) +
                      " data bytes, not " + std::to_string(frame.data.size()));
  }
  if (interval_ms < kMinInterval || interval_ms > kMaxInterval) {
    return Refuse(passthru::kErrInvalidTimeInterval,
                  "the interval must be 5 to 65535 ms, not " + std::to_string(interval_ms));
  }
  if (channel->periodic.size() >= kPeriodicLimit) {
    return Refuse(passthru::kErrExceededLimit, "a channel holds at most 10 periodic messages");
  }
  msg_id = next_periodic_id_++;
  channel->periodic.push_back(Periodic{msg_id, frame, std::chrono::milliseconds(interval_ms), now});
  RunPeriodic(now);  // the first transmission goes out at once
  return {};
}

Status Device::StopPeriodic(uint32_t channel_id, uint32_t msg_id) {
  std::lock_guard lock(mutex_);
  RunPeriodic(now_());
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  auto& list = channel->periodic;
  const auto it =
      std::find_if(list.begin(), list.end(), [&](const Periodic& p) { return p.id == msg_id; });
  if (it == list.end()) {
    return Refuse(passthru::kErrInvalidMsgId,
                  "periodic message " + std::to_string(msg_id) + " does not exist");
  }
  list.erase(it);
  return {};
}

Status Device::StartFilter(uint32_t channel_id, uint32_t type, const Frame& mask,
                           const Frame& pattern, const Frame* flow_control, uint32_t& filter_id) {
  std::lock_guard lock(mutex_);
  RunPeriodic(now_());
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (Status ready = PinsReady(*channel); !ready.ok()) return ready;
  if (type != passthru::kPassFilter && type != passthru::kBlockFilter &&
      type != passthru::kFlowControlFilter) {
    return Refuse(passthru::kErrNotSupported,
                  "filter type " + std::to_string(type) + " does not exist");
  }
  if (type == passthru::kFlowControlFilter && !passthru::IsCanLike(channel->protocol)) {
    return Refuse(passthru::kErrNotSupported,
                  "flow-control filters exist only on CAN and ISO15765");
  }
  const std::string records =
      flow_control == nullptr ? "mask and pattern" : "mask, pattern and flow-control message";
  for (const Frame* record : {&mask, &pattern, flow_control}) {
    if (record != nullptr && record->protocol != channel->protocol) {
      return Refuse(passthru::kErrMsgProtocolId, records + " must have the channel's protocol " +
                                                     std::to_string(channel->protocol));
    }
  }
  for (const Frame* record : {&mask, &pattern, flow_control}) {
    if (record != nullptr && (record->data.empty() || record->data.size() > kMaxFilterBytes)) {
      return Refuse(passthru::kErrInvalidMsg, records + " must hold 1 to 12 bytes");
    }
  }
  if (channel->filters.size() >= kFilterLimit) {
    return Refuse(passthru::kErrExceededLimit, "a channel holds at most 10 filters");
  }
  filter_id = next_filter_id_++;
  channel->filters.push_back(MessageFilter{
      filter_id, type, mask.data, pattern.data, (mask.tx_flags & passthru::kCan29BitId) != 0,
      flow_control != nullptr && type == passthru::kFlowControlFilter ? flow_control->data
                                                                      : std::vector<uint8_t>{}});
  // PTSIM_TRAFFIC frames arrive once the channel can receive something.
  for (; channel->pending_traffic > 0; --channel->pending_traffic) {
    Frame frame = TrafficFrame(*channel, now_());
    if (Passes(*channel, frame, (frame.rx_status & passthru::kCan29BitId) != 0)) {
      Queue(*channel, std::move(frame));
    }
  }
  return {};
}

Status Device::StopFilter(uint32_t channel_id, uint32_t filter_id) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  auto& list = channel->filters;
  const auto it = std::find_if(list.begin(), list.end(),
                               [&](const MessageFilter& f) { return f.id == filter_id; });
  if (it == list.end()) {
    return Refuse(passthru::kErrInvalidFilterId,
                  "filter " + std::to_string(filter_id) + " does not exist");
  }
  list.erase(it);
  return {};
}

Status Device::SetProgrammingVoltage(uint32_t device_id, uint32_t pin, uint32_t millivolts) {
  std::lock_guard lock(mutex_);
  if (Status open = CheckDeviceLocked(device_id); !open.ok()) return open;
  if (!IsProgrammingPin(pin) || (millivolts == passthru::kShortToGround && pin != 15)) {
    return Refuse(passthru::kErrPinInvalid,
                  "pin " + std::to_string(pin) + " cannot take that voltage");
  }
  if (!IsProgrammingPin(pin) || (millivolts == passthru::kShortToGround && pin != 15)) {
    return Refuse(passthru::kErrPinInvalid,
                  "pin " + std::to_string(pin) + " cannot take that voltage");
  }
  const bool off = millivolts == passthru::kVoltageOff;
  if (settings_->strict && !off && prog_voltage_mv_ != 0 && pin != prog_pin_) {
    // A conforming device drives one pin at a time.
    return Refuse(passthru::kErrPinInvalid,
                  "pin " + std::to_string(prog_pin_) + " already has a voltage");
  }
  if (!off) prog_pin_ = pin;
  if (off || millivolts == passthru::kShortToGround) {
    prog_voltage_mv_ = 0;
  } else if (millivolts < 5000 || millivolts > 20000) {
    return Refuse(passthru::kErrExceededLimit, "the voltage must be 5000 to 20000 mV");
  } else {
    prog_voltage_mv_ = millivolts;
  }
  return {};
}

Status Device::GetConfig(uint32_t channel_id, uint32_t parameter, uint32_t& value) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  const auto it = channel->config.find(parameter);
  value = it == channel->config.end() ? 0 : it->second;
  return {};
}

Status Device::SetConfig(uint32_t channel_id, uint32_t parameter, uint32_t value) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (settings_->strict && parameter == passthru::kLoopback && value > 1) {
    return Refuse(passthru::kErrInvalidIoctlValue,
                  "LOOPBACK is 0 (off) or 1 (on), not " + std::to_string(value));
  }
  if (parameter == passthru::kJ1962Pins &&
      (passthru::IsPinSwitched(channel->protocol) || settings_->strict)) {
    if (Status set = SetPins(*channel, value); !set.ok()) return set;
  }
  channel->config[parameter] = value;
  return {};
}

Status Device::ReadVoltage(uint32_t handle, uint32_t ioctl, bool device_only,
                           uint32_t& millivolts) {
  std::lock_guard lock(mutex_);
  if (device_only && (!open_ || handle != kDeviceId)) {
    // The voltages belong to the device: a channel id is no device id.
    return Refuse(passthru::kErrInvalidDeviceId,
                  "handle " + std::to_string(handle) + " is not the open device (" +
                      std::to_string(kDeviceId) + "); " + IoctlLabel(ioctl) +
                      " is addressed to the device");
  }
  if (!open_ || (handle != kDeviceId && FindChannel(handle) == nullptr)) {
    return Refuse(passthru::kErrInvalidChannelId,
                  "handle " + std::to_string(handle) + " is not open");
  }
  millivolts = ioctl == passthru::kReadVbatt ? settings_->vbatt_mv : prog_voltage_mv_;
  return {};
}

Status Device::Clear(uint32_t channel_id, uint32_t ioctl) {
  std::lock_guard lock(mutex_);
  RunPeriodic(now_());
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (ioctl == passthru::kClearRxBuffer) channel->received.clear();
  if (ioctl == passthru::kClearPeriodicMsgs) channel->periodic.clear();
  if (ioctl == passthru::kClearMsgFilters) channel->filters.clear();
  return {};  // frames are sent at once, so the transmit queue is always empty
}

Status Device::FiveBaudInit(uint32_t channel_id, const std::vector<uint8_t>& address,
                            std::vector<uint8_t>& keywords) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (!passthru::IsKLine(channel->protocol)) {
    return Refuse(passthru::kErrInvalidIoctlId,
                  "FIVE_BAUD_INIT needs an ISO9141 or ISO14230 channel");
  }
  if (address.empty())
    return Refuse(passthru::kErrInvalidMsg, "FIVE_BAUD_INIT needs an address byte");
  if (settings_->no_ecu) return Refuse(passthru::kErrFailed, "no ECU answered the 5-baud address");
  keywords = settings_->keywords;
  if (!settings_->no_cc) {
    // The ECU's inverted address byte that closes the 5-baud exchange.
    Frame cc;
    cc.protocol = channel->protocol;
    cc.timestamp = Timestamp(now_());
    cc.data = {0xCC};
    if (Passes(*channel, cc, false)) Queue(*channel, std::move(cc));
  }
  return {};
}

Status Device::FastInit(uint32_t channel_id, const Frame& request, Frame& response) {
  std::lock_guard lock(mutex_);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (!passthru::IsKLine(channel->protocol)) {
    return Refuse(passthru::kErrInvalidIoctlId, "FAST_INIT needs an ISO9141 or ISO14230 channel");
  }
  if (request.data.empty())
    return Refuse(passthru::kErrInvalidMsg, "FAST_INIT needs a request message");
  if (settings_->no_ecu) return Refuse(passthru::kErrFailed, "no ECU answered the wake-up");
  // StartCommunication positive response: format byte, target (the tester), source (the ECU at
  // 0x10), service C1 and the key bytes EF 8F.
  const uint8_t tester = request.data.size() >= 3 ? request.data[2] : 0xF1;
  response = Frame{};
  response.protocol = channel->protocol;
  response.timestamp = Timestamp(now_());
  response.data = {0x83, tester, 0x10, 0xC1, 0xEF, 0x8F};
  return {};
}

}  // namespace tarnix::sim
