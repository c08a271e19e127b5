// The simulated device: opening, channels, reading and writing, and what happens on the bus.
#include "sim/device.h"

#include <algorithm>

#include "passthru/abi.h"
#include "passthru/numbers.h"

namespace tarnix::sim {
namespace {

constexpr size_t kChannelLimit = 8;
/// Periodic transmissions made up at once after a long silence; beyond that the schedule skips.
constexpr int kCatchUpLimit = 10000;

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
                       uint32_t& channel_id) {
  std::lock_guard lock(mutex_);
  if (Status open = CheckDeviceLocked(device_id); !open.ok()) return open;
  if (protocol < passthru::kJ1850Vpw || protocol > passthru::kIso15765) {
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
  const bool can = passthru::IsCanLike(channel->protocol);
  const size_t minimum = can ? 4 : 1;
  const size_t maximum = channel->protocol == passthru::kCan ? 12 : passthru::kMaxDataSize;
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

void Device::RunPeriodic(Clock::time_point now) {
  for (int made = 0; made < kCatchUpLimit; ++made) {
    Channel* earliest_channel = nullptr;
    Periodic* earliest = nullptr;
    for (auto& channel : channels_) {
      for (auto& periodic : channel->periodic) {
        if (periodic.due <= now && (earliest == nullptr || periodic.due < earliest->due)) {
          earliest_channel = channel.get();
          earliest = &periodic;
        }
      }
    }
    if (earliest == nullptr) return;
    Transmit(*earliest_channel, earliest->frame, earliest->due);
    earliest->due += earliest->interval;
  }
  for (auto& channel : channels_) {
    for (auto& periodic : channel->periodic) {
      if (periodic.due <= now) periodic.due = now + periodic.interval;
    }
  }
}

Clock::time_point Device::NextDue(Clock::time_point limit) const {
  for (const auto& channel : channels_) {
    for (const auto& periodic : channel->periodic) {
      limit = std::min(limit, periodic.due);
    }
  }
  return limit;
}

void Device::Transmit(Channel& from, const Frame& frame, Clock::time_point at) {
  const bool can = passthru::IsCanLike(from.protocol);
  const bool extended =
      can && ((frame.tx_flags & passthru::kCan29BitId) != 0 || FrameId(frame.data) > 0x7FF);
  const uint32_t width = extended ? passthru::kCan29BitId : 0;
  Frame echo = frame;
  echo.tx_flags = 0;
  echo.timestamp = Timestamp(at);
  if (settings_->plain_echoes > 0) {
    echo.rx_status = width;
    for (uint32_t i = 0; i < settings_->plain_echoes; ++i) {
      Queue(from, echo);
    }
  } else if (from.config[passthru::kLoopback] != 0) {
    echo.rx_status = passthru::kTxMsgType | width;
    Queue(from, std::move(echo));
  }
  if (!can || settings_->no_ecu) return;
  const CanFrame heard{FrameId(frame.data), extended,
                       std::vector<uint8_t>(frame.data.begin() + 4, frame.data.end())};
  for (const CanFrame& reply : ecu_.Hear(from.protocol, heard)) {
    Frame answer;
    answer.protocol = from.protocol;
    answer.rx_status = reply.extended ? passthru::kCan29BitId : 0;
    answer.timestamp = Timestamp(at);
    answer.data = WithId(reply.id, reply.bytes);
    Deliver(from.protocol, answer, reply.extended);
  }
}

bool Device::Segmented(const Channel& channel, const Frame& frame) const {
  if (!segmentation_rules_ || channel.protocol != passthru::kIso15765) return false;
  const bool addressed = ((frame.tx_flags | frame.rx_status) & passthru::kIso15765AddrType) != 0;
  return frame.data.size() > 4 + (addressed ? 6u : 7u);
}

bool Device::HasFlowControlFor(const Channel& channel, const Frame& frame, bool extended) {
  return std::any_of(channel.filters.begin(), channel.filters.end(), [&](const MessageFilter& f) {
    return f.type == passthru::kFlowControlFilter && f.extended == extended &&
           f.flow_control.size() >= 4 &&
           std::equal(f.flow_control.begin(), f.flow_control.begin() + 4, frame.data.begin());
  });
}

void Device::Deliver(uint32_t protocol, const Frame& frame, bool extended) {
  for (auto& channel : channels_) {
    if (channel->protocol == protocol &&
        Passes(*channel, frame, extended, Segmented(*channel, frame))) {
      Queue(*channel, frame);
    }
  }
}

void Device::Queue(Channel& channel, Frame frame) {
  if (channel.received.size() >= kReceiveCapacity) return;
  channel.received.push_back(std::move(frame));
  arrived_.notify_all();
}

Frame Device::TrafficFrame(Channel& channel, Clock::time_point at) {
  const uint32_t n = channel.sequence++;
  std::vector<uint8_t> payload(8, 0);
  for (size_t i = 0; i < 4; ++i) {
    payload[i] = static_cast<uint8_t>(n >> (24 - 8 * i));
  }
  Frame frame;
  frame.protocol = channel.protocol;
  frame.timestamp = Timestamp(at);
  if (passthru::IsCanLike(channel.protocol)) {
    const uint32_t id = settings_->traffic.id;
    frame.rx_status = id > 0x7FF ? passthru::kCan29BitId : 0;
    frame.data = WithId(id, payload);
  } else {
    frame.data = payload;
  }
  return frame;
}

void Device::TakeReceived(Channel& channel, size_t max, std::vector<Frame>& out) {
  while (out.size() < max && !channel.received.empty()) {
    out.push_back(std::move(channel.received.front()));
    channel.received.pop_front();
  }
}

}  // namespace tarnix::sim
