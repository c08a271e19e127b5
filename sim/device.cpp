// The simulated device: opening, channels, reading and writing, and what happens on the bus.
#include "sim/device.h"

#include <algorithm>

#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::sim {
namespace {

constexpr size_t kChannelLimit = 8;

std::string HexId(uint32_t id) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[id & 0xF]);
    id >>= 4;
  } while (id != 0);
  return text;
}

}  // namespace

Device::Device(NowFn now) : now_(std::move(now)), settings_(std::make_shared<Settings>()) {}

Status Device::Open(std::shared_ptr<const Settings> settings, uint32_t& device_id,
                    bool flow_control_messages) {
  std::lock_guard lock(mutex_);
  if (open_) return Refuse(passthru::kErrDeviceInUse, "the device is already open");
  open_ = true;
  opened_at_ = now_();
  settings_ = std::move(settings);
  segmentation_rules_ = settings_->strict && flow_control_messages;
  channels_.clear();
  next_channel_id_ = 2;
  next_filter_id_ = 1;
  next_periodic_id_ = 1;
  prog_voltage_mv_ = 0;
  ecu_.Reset();
  device_id = kDeviceId;
  return {};
}

Status Device::Close(uint32_t device_id) {
  std::lock_guard lock(mutex_);
  if (Status open = CheckDeviceLocked(device_id); !open.ok()) return open;
  open_ = false;
  channels_.clear();
  ecu_.Reset();
  arrived_.notify_all();
  return {};
}

Status Device::CheckDevice(uint32_t device_id) {
  std::lock_guard lock(mutex_);
  return CheckDeviceLocked(device_id);
}

Status Device::CheckDeviceLocked(uint32_t device_id) const {
  if (open_ && device_id == kDeviceId) return {};
  return Refuse(passthru::kErrInvalidDeviceId,
                "device " + std::to_string(device_id) + " is not open");
}

Status Device::Connect(uint32_t device_id, uint32_t protocol, uint32_t flags, uint32_t baud,
                       uint32_t& channel_id, std::optional<uint32_t> pins) {
  std::lock_guard lock(mutex_);
  if (Status open = CheckDeviceLocked(device_id); !open.ok()) return open;
  if ((protocol < passthru::kJ1850Vpw || protocol > passthru::kIso15765) &&
      !passthru::IsPinSwitched(protocol)) {
    return Refuse(passthru::kErrInvalidProtocolId,
                  "protocol " + std::to_string(protocol) + " is not supported");
  }
  if (channels_.size() >= kChannelLimit) {
    return Refuse(passthru::kErrExceededLimit, "no more than 8 channels can be connected");
  }
  auto channel = std::make_unique<Channel>();
  channel->id = next_channel_id_++;
  channel->protocol = protocol;
  channel->flags = flags;
  channel->config[passthru::kDataRate] = baud;
  channel->config[passthru::kLoopback] = 0;
  if (passthru::IsCanLike(protocol)) channel->pending_traffic = settings_->traffic.count;
  if (passthru::IsPinSwitched(protocol)) channel->pins = pins;
  channel_id = channel->id;
  channels_.push_back(std::move(channel));
  return {};
}

Status Device::Disconnect(uint32_t channel_id) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(channels_.begin(), channels_.end(),
                               [&](const auto& c) { return c->id == channel_id; });
  if (it == channels_.end()) return NoChannel(channel_id);
  channels_.erase(it);
  arrived_.notify_all();
  return {};
}

Status Device::Read(uint32_t channel_id, size_t max, uint32_t timeout_ms, std::vector<Frame>& out) {
  std::unique_lock lock(mutex_);
  const auto deadline = now_() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    RunPeriodic(now_());
    Channel* channel = FindChannel(channel_id);
    if (channel == nullptr) return NoChannel(channel_id);
    TakeReceived(*channel, max, out);
    if (settings_->traffic.endless) {
      while (out.size() < max) {
        out.push_back(TrafficFrame(*channel, now_()));
      }
    }
    if (!out.empty() || max == 0) return {};
    if (timeout_ms == 0) return Refuse(passthru::kErrBufferEmpty, "no message was received");
    if (now_() >= deadline) {
      return Refuse(passthru::kErrTimeout,
                    "no message arrived within " + std::to_string(timeout_ms) + " ms");
    }
    arrived_.wait_until(lock, NextDue(deadline));
  }
}

Status Device::Write(uint32_t channel_id, const std::vector<Frame>& frames, size_t& sent) {
  std::lock_guard lock(mutex_);
  sent = 0;
  const auto now = now_();
  RunPeriodic(now);
  Channel* channel = FindChannel(channel_id);
  if (channel == nullptr) return NoChannel(channel_id);
  if (Status ready = PinsReady(*channel); !ready.ok()) return ready;
  const bool can = passthru::IsCanLike(channel->protocol);
  const size_t minimum = can ? 4 : 1;
  const size_t maximum =
      passthru::FramingOf(channel->protocol) == passthru::kCan ? 12 : passthru::kMaxDataSize;
  for (const Frame& frame : frames) {
    const std::string which = "message " + std::to_string(sent + 1);
    if (frame.protocol != channel->protocol) {
      return Refuse(passthru::kErrMsgProtocolId,
                    which + " has protocol " + std::to_string(frame.protocol) +
                        " on a channel of protocol " + std::to_string(channel->protocol));
    }
    if (frame.data.size() < minimum || frame.data.size() > maximum) {
      return Refuse(passthru::kErrInvalidMsg,
                    which + " has " + std::to_string(frame.data.size()) + " data bytes; protocol " +
                        std::to_string(channel->protocol) + " takes " + std::to_string(minimum) +
                        " to " + std::to_string(maximum));
    }
    const bool extended =
        (frame.tx_flags & passthru::kCan29BitId) != 0 || FrameId(frame.data) > 0x7FF;
    if (Segmented(*channel, frame) && !HasFlowControlFor(*channel, frame, extended)) {
      return Refuse(passthru::kErrNoFlowControl,
                    which +
                        " needs segmenting, and no flow-control filter's "
                        "flow-control message has its identifier " +
                        HexId(FrameId(frame.data)));
    }
    Transmit(*channel, frame, now);
    channel->last_sent = frame;
    ++sent;
  }
  return {};
}

Device::Channel* Device::FindChannel(uint32_t channel_id) {
  for (auto& channel : channels_) {
    if (channel->id == channel_id) return channel.get();
  }
  return nullptr;
}

Status Device::NoChannel(uint32_t channel_id) const {
  return Refuse(passthru::kErrInvalidChannelId,
                "channel " + std::to_string(channel_id) + " is not connected");
}

uint32_t Device::Timestamp(Clock::time_point at) const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(at - opened_at_);
  return elapsed.count() < 0 ? 0 : static_cast<uint32_t>(elapsed.count());
}

}  // namespace tarnix::sim
