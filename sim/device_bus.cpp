// The simulated bus: periodic transmissions, what the ECU hears and answers, who receives it,
// and the receive queues.
#include <algorithm>

#include "passthru/abi.h"
#include "passthru/names.h"
#include "passthru/numbers.h"
#include "sim/device.h"

namespace tarnix::sim {
namespace {

/// Periodic transmissions made up at once after a long silence; beyond that the schedule skips.
constexpr int kCatchUpLimit = 10000;

}  // namespace

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
  if (!can || settings_->no_ecu || !OnEcuBus(from)) return;
  const CanFrame heard{FrameId(frame.data), extended,
                       std::vector<uint8_t>(frame.data.begin() + 4, frame.data.end())};
  const uint32_t framing = passthru::FramingOf(from.protocol);
  for (const CanFrame& reply : ecu_.Hear(framing, heard)) {
    Frame answer;
    answer.rx_status = reply.extended ? passthru::kCan29BitId : 0;
    answer.timestamp = Timestamp(at);
    answer.data = WithId(reply.id, reply.bytes);
    Deliver(framing, answer, reply.extended);
  }
}

bool Device::Segmented(const Channel& channel, const Frame& frame) const {
  if (!segmentation_rules_ || passthru::FramingOf(channel.protocol) != passthru::kIso15765)
    return false;
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

void Device::Deliver(uint32_t framing, const Frame& frame, bool extended) {
  for (auto& channel : channels_) {
    if (passthru::FramingOf(channel->protocol) == framing && OnEcuBus(*channel) &&
        Passes(*channel, frame, extended, Segmented(*channel, frame))) {
      Frame received = frame;
      received.protocol = channel->protocol;
      Queue(*channel, std::move(received));
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
