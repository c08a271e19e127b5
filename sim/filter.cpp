// Filter matching of received frames.
#include "sim/filter.h"

#include <cstddef>

#include "passthru/numbers.h"

namespace tarnix::sim {

bool Admits(uint32_t protocol, uint32_t flags, const std::vector<MessageFilter>& filters,
            const std::vector<uint8_t>& data, bool extended, bool flow_control_only) {
  const bool can = passthru::IsCanLike(protocol);
  if (can && (flags & passthru::kCanIdBoth) == 0 &&
      extended != ((flags & passthru::kCan29BitId) != 0))
    return false;
  const auto applies = [&](const MessageFilter& f) { return !can || f.extended == extended; };
  const auto matches = [&](const MessageFilter& f) {
    if (data.size() < f.mask.size()) return false;
    for (size_t i = 0; i < f.mask.size(); ++i) {
      const uint8_t pattern = i < f.pattern.size() ? f.pattern[i] : 0;
      if (((data[i] ^ pattern) & f.mask[i]) != 0) return false;
    }
    return true;
  };
  for (const MessageFilter& f : filters) {
    if (f.type == passthru::kBlockFilter && applies(f) && matches(f)) return false;
  }
  for (const MessageFilter& f : filters) {
    if (flow_control_only && f.type != passthru::kFlowControlFilter) continue;
    if (f.type != passthru::kBlockFilter && applies(f) && matches(f)) return true;
  }
  return false;
}

}  // namespace tarnix::sim
