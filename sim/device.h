// The simulated adapter: one device with its channels, filters, receive queues, periodic messages
// and configuration, and the ECU on its CAN bus. Portable C++; every method is thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/ecu.h"
#include "sim/filter.h"
#include "sim/frame.h"
#include "sim/settings.h"

namespace tarnix::sim {

using Clock = std::chrono::steady_clock;
/// The device's clock; tests substitute one they advance by hand.
using NowFn = std::function<Clock::time_point()>;

/// Receive frames queued per channel at most; later ones are dropped, as a full device buffer does.
inline constexpr size_t kReceiveCapacity = 65536;
/// The id PassThruOpen gives the one simulated device.
inline constexpr uint32_t kDeviceId = 1;
/// Filters and periodic messages per channel, as J2534 allows.
inline constexpr size_t kFilterLimit = 10;
inline constexpr size_t kPeriodicLimit = 10;

class Device {
 public:
  explicit Device(NowFn now = [] { return Clock::now(); });
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  /// Opens the device with the controls of this PassThruOpen. Ids start afresh: the device is 1,
  /// channels count from 2, filters and periodic messages from 1. `flow_control_messages` says
  /// whether flow-control filters carry the message the device sends as flow control (the 04.04
  /// form); a strict device then holds ISO 15765 segmentation to them (see Write).
  Status Open(std::shared_ptr<const Settings> settings, uint32_t& device_id,
              bool flow_control_messages = true);
  /// Closes the device and drops its channels.
  Status Close(uint32_t device_id);
  /// STATUS_NOERROR when `device_id` names the open device.
  Status CheckDevice(uint32_t device_id);
  /// Protocols 1 to 6 and the pin-switched ones; `pins` (0xPPSS) are the 05.00 resource's pins,
  /// which a pin-switched channel takes as its J1962_PINS.
  Status Connect(uint32_t device_id, uint32_t protocol, uint32_t flags, uint32_t baud,
                 uint32_t& channel_id, std::optional<uint32_t> pins = std::nullopt);
  Status Disconnect(uint32_t channel_id);

  /// Takes up to `max` received frames. With none queued, waits up to `timeout_ms` for one:
  /// STATUS_NOERROR with frames, ERR_BUFFER_EMPTY with none and timeout 0, ERR_TIMEOUT otherwise.
  Status Read(uint32_t channel_id, size_t max, uint32_t timeout_ms, std::vector<Frame>& out);
  /// Transmits `frames` in order; `sent` counts those that went out before a refusal. With the
  /// ISO 15765 rules of a strict device (see Open), an ISO15765 message too long for one CAN frame
  /// goes out only when a flow-control filter's message names its identifier (else
  /// ERR_NO_FLOW_CONTROL), and a segmented answer reaches only channels whose flow-control filter
  /// matches it; single frames pass pass filters as before.
  Status Write(uint32_t channel_id, const std::vector<Frame>& frames, size_t& sent);

  Status StartPeriodic(uint32_t channel_id, const Frame& frame, uint32_t interval_ms,
                       uint32_t& msg_id);
  Status StopPeriodic(uint32_t channel_id, uint32_t msg_id);
  /// Pass, block and flow-control filters; the mask record's CAN_29BIT_ID flag says which
  /// identifier width the filter applies to on a CAN-like channel. A `flow_control` message, when
  /// given, is checked like the mask and pattern; it names where segmented sends may go.
  Status StartFilter(uint32_t channel_id, uint32_t type, const Frame& mask, const Frame& pattern,
                     const Frame* flow_control, uint32_t& filter_id);
  Status StopFilter(uint32_t channel_id, uint32_t filter_id);
  Status SetProgrammingVoltage(uint32_t device_id, uint32_t pin, uint32_t millivolts);

  Status GetConfig(uint32_t channel_id, uint32_t parameter, uint32_t& value);
  Status SetConfig(uint32_t channel_id, uint32_t parameter, uint32_t value);
  /// READ_VBATT and READ_PROG_VOLTAGE, on the device id or any channel id; with `device_only`, on
  /// the device id alone (ERR_INVALID_DEVICE_ID for any other handle).
  Status ReadVoltage(uint32_t handle, uint32_t ioctl, bool device_only, uint32_t& millivolts);
  /// CLEAR_TX_BUFFER, CLEAR_RX_BUFFER, CLEAR_PERIODIC_MSGS or CLEAR_MSG_FILTERS.
  Status Clear(uint32_t channel_id, uint32_t ioctl);
  /// The keyword bytes; queues a frame holding 0xCC on the channel unless PTSIM_NO_CC.
  Status FiveBaudInit(uint32_t channel_id, const std::vector<uint8_t>& address,
                      std::vector<uint8_t>& keywords);
  /// The ECU's StartCommunication positive response.
  Status FastInit(uint32_t channel_id, const Frame& request, Frame& response);

  // Beyond the basics (device_extras.cpp).
  /// CLEAR_FUNCT_MSG_LOOKUP_TABLE, ADD_TO_... and DELETE_FROM_... on a J1850PWM channel.
  Status LookupTable(uint32_t channel_id, uint32_t ioctl, const std::vector<uint8_t>& addresses);
  /// SW_CAN_HS (`high`) and SW_CAN_NS on a single-wire channel.
  Status SingleWireSpeed(uint32_t channel_id, bool high);
  /// STATUS_NOERROR when `handle` names the open device or one of its channels.
  Status CheckHandle(uint32_t handle);
  /// The frames queued on a channel.
  Status Queued(uint32_t channel_id, uint32_t& count);
  /// Queues `frame` on a channel as if it had been received, past the filters.
  Status Inject(uint32_t channel_id, const Frame& frame);
  /// The last frame written on a channel (ERR_BUFFER_EMPTY before the first).
  Status LastSent(uint32_t channel_id, Frame& frame);

 private:
  struct Periodic {
    uint32_t id;
    Frame frame;
    Clock::duration interval;
    Clock::time_point due;
  };
  struct Channel {
    uint32_t id;
    uint32_t protocol;
    uint32_t flags;
    std::map<uint32_t, uint32_t> config;
    std::vector<MessageFilter> filters;
    std::vector<Periodic> periodic;
    std::deque<Frame> received;
    uint32_t pending_traffic = 0;     // PTSIM_TRAFFIC frames, released by the first filter
    uint32_t sequence = 0;            // of traffic and endless frames
    std::optional<uint32_t> pins;     // a pin-switched channel's J1962_PINS (0xPPSS)
    std::vector<uint8_t> functional;  // J1850PWM functional lookup table
    bool high_speed = false;          // single-wire CAN in high-speed mode
    std::optional<Frame> last_sent;
  };

  Channel* FindChannel(uint32_t channel_id);
  /// ERR_INVALID_DEVICE_ID unless `device_id` is the open device (the lock is held).
  Status CheckDeviceLocked(uint32_t device_id) const;
  /// A strict device carries nothing on a pin-switched channel before its pins are set.
  Status PinsReady(const Channel& channel) const;
  /// Whether a channel is on the J1962 CAN pins (6 and 14), where the ECU is.
  bool OnEcuBus(const Channel& channel) const;
  /// SET_CONFIG J1962_PINS on a pin-switched channel.
  Status SetPins(Channel& channel, uint32_t value);
  Status NoChannel(uint32_t channel_id) const;
  uint32_t Timestamp(Clock::time_point at) const;
  void RunPeriodic(Clock::time_point now);
  Clock::time_point NextDue(Clock::time_point limit) const;
  void Transmit(Channel& from, const Frame& frame, Clock::time_point at);
  /// Hands the ECU's answer to every channel of its framing on the ECU's pins that lets it in.
  void Deliver(uint32_t framing, const Frame& frame, bool extended);
  static bool Passes(const Channel& channel, const Frame& frame, bool extended,
                     bool flow_control_only = false) {
    return Admits(channel.protocol, channel.flags, channel.filters, frame.data, extended,
                  flow_control_only);
  }
  /// Whether `frame` is an ISO 15765 message that the rules of a strict device hold to
  /// flow-control filters: one too long for a single CAN frame.
  bool Segmented(const Channel& channel, const Frame& frame) const;
  static bool HasFlowControlFor(const Channel& channel, const Frame& frame, bool extended);
  void Queue(Channel& channel, Frame frame);
  Frame TrafficFrame(Channel& channel, Clock::time_point at);
  void TakeReceived(Channel& channel, size_t max, std::vector<Frame>& out);

  NowFn now_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool open_ = false;
  bool segmentation_rules_ = false;  // strict, and filters carry flow-control messages
  Clock::time_point opened_at_;
  std::shared_ptr<const Settings> settings_;
  std::vector<std::unique_ptr<Channel>> channels_;
  uint32_t next_channel_id_ = 2;
  uint32_t next_filter_id_ = 1;
  uint32_t next_periodic_id_ = 1;
  uint32_t prog_voltage_mv_ = 0;
  uint32_t prog_pin_ = 0;  // the pin the programming voltage is on (with prog_voltage_mv_)
  Ecu ecu_;
};

}  // namespace tarnix::sim
