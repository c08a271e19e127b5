// Which received frames a channel lets in: its identifier width and its pass, block and
// flow-control filters, as a J2534 device applies them.
#pragma once

#include <cstdint>
#include <vector>

namespace tarnix::sim {

struct MessageFilter {
  uint32_t id = 0;
  uint32_t type = 0;  ///< PASS_FILTER, BLOCK_FILTER or FLOW_CONTROL_FILTER
  std::vector<uint8_t> mask;
  std::vector<uint8_t> pattern;  ///< may be shorter than the mask: missing bytes count as 00
  bool extended = false;  ///< on CAN-like channels: applies to 29-bit frames only, else 11-bit
  std::vector<uint8_t>
      flow_control;  ///< a flow-control filter's message; empty when none was given
};

/// Whether a channel of `protocol`, connected with `flags` and holding `filters`, receives a
/// frame of `data` (identifier first on CAN-like protocols). A CAN-like channel sees only its
/// identifier width unless connected with CAN_ID_BOTH. Nothing passes without a pass or
/// flow-control filter that matches; a matching block filter wins over them. A filter matches
/// when every byte under its mask equals the pattern; a frame shorter than the mask never does.
/// With `flow_control_only` (a segmented ISO 15765 message on a conforming device) only a
/// flow-control filter lets it in.
bool Admits(uint32_t protocol, uint32_t flags, const std::vector<MessageFilter>& filters,
            const std::vector<uint8_t>& data, bool extended, bool flow_control_only = false);

}  // namespace tarnix::sim
