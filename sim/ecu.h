// The small vehicle behind the simulated adapter: one OBD-II ECU on the CAN bus.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarnix::sim {

/// A CAN frame: its identifier, its width, and the bytes after the identifier.
struct CanFrame {
  uint32_t id = 0;
  bool extended = false;
  std::vector<uint8_t> bytes;
};

/// The vehicle identification number the ECU reports (service 09 PID 02).
inline constexpr std::string_view kVin = "PTSIM2534VIRTUAL1";

/// The ECU's answer to one OBD-II request payload (service byte first); empty when it stays
/// silent. 01 00/05/0C/0D, 09 02 and 3E are answered; anything else gets 7F <service> 11.
std::vector<uint8_t> ObdAnswer(std::span<const uint8_t> request);

/// The ECU: requests to 7DF/7E0 are answered from 7E8; with 29-bit identifiers requests to
/// 18DB33F1/18DA10F1 are answered from 18DAF110.
class Ecu {
 public:
  /// The frames the ECU sends after hearing `frame` on a channel of `protocol`. On CAN it speaks
  /// ISO-TP frames with their PCI byte (a long answer: a first frame, and the consecutive frames
  /// once the tester's flow control arrives); on ISO15765 whole unsegmented payloads, as a J2534
  /// device delivers them.
  std::vector<CanFrame> Hear(uint32_t protocol, const CanFrame& frame);

  /// Forgets consecutive frames waiting for a flow control.
  void Reset() { held_.clear(); }

 private:
  std::vector<CanFrame> Segment(uint32_t id, bool extended, const std::vector<uint8_t>& answer);

  std::vector<CanFrame> held_;
};

}  // namespace tarnix::sim
