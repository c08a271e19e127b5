// Message filters: the start primitive, identifier and byte filters, removing and clearing.
#include "j2534/filters.h"

#include <algorithm>

#include "j2534/ioctl.h"
#include "j2534/passthru_abi.h"

namespace tarnix::j2534 {
namespace {

constexpr size_t kIdFilterBytes = 4;
constexpr size_t kMaxRawFilterBytes = 12;

Bytes Resized(const Bytes& bytes, size_t size) {
  Bytes out(bytes.begin(),
            bytes.begin() + static_cast<std::ptrdiff_t>(std::min(size, bytes.size())));
  out.resize(size, 0);
  return out;
}

Bytes CutTo(const Bytes& bytes, size_t limit) {
  return Resized(bytes, std::min(limit, bytes.size()));
}

}  // namespace

Result<FilterStart, PassThruError> CallStartMsgFilter(const ChannelRef& channel,
                                                      uint32_t filter_type, const Bytes& mask,
                                                      const Bytes& pattern, uint32_t tx_flags) {
  MessageArray mask_record =
      MessageArray::ForSend(channel.api_0500, channel.protocol_id, {{mask, tx_flags}});
  MessageArray pattern_record =
      MessageArray::ForSend(channel.api_0500, channel.protocol_id, {{pattern, tx_flags}});
  FilterStart start;
  if (channel.api_0500) {
    auto fn = channel.library.Resolve<PassThruStartMsgFilter0500Fn>("PassThruStartMsgFilter");
    if (!fn) return std::move(fn).error();
    start.status =
        static_cast<uint32_t>((*fn)(channel.channel_id, filter_type, mask_record.records(),
                                    pattern_record.records(), &start.filter_id));
  } else {
    auto fn = channel.library.Resolve<PassThruStartMsgFilterFn>("PassThruStartMsgFilter");
    if (!fn) return std::move(fn).error();
    start.status =
        static_cast<uint32_t>((*fn)(channel.channel_id, filter_type, mask_record.records(),
                                    pattern_record.records(), nullptr, &start.filter_id));
  }
  return start;
}

Result<uint32_t, PassThruError> StartFilter(const ChannelRef& channel, uint32_t filter_type,
                                            const Bytes& mask, const Bytes& pattern,
                                            uint32_t tx_flags) {
  auto start = CallStartMsgFilter(channel, filter_type, mask, pattern, tx_flags);
  if (!start) return std::move(start).error();
  if (start->status != kStatusNoError) {
    return CallFailedError("FILTER_FAILED", start->status, LastErrorText(channel.library));
  }
  return start->filter_id;
}

Result<uint32_t, PassThruError> FilterType(std::string_view filter_type) {
  if (filter_type == "pass") return kPassFilter;
  if (filter_type == "block") return kBlockFilter;
  if (filter_type == "flow_control") return kFlowControlFilter;
  return RefusedError("Invalid filter type");
}

Result<uint32_t, PassThruError> AddFilter(const Connection& connection,
                                          std::string_view filter_type, const Bytes& mask,
                                          const Bytes& pattern, bool extended) {
  auto type = FilterType(filter_type);
  if (!type) return std::move(type).error();
  return StartFilter(connection.main_channel(), *type, Resized(mask, kIdFilterBytes),
                     Resized(pattern, kIdFilterBytes), extended ? kCan29BitId : 0);
}

Result<uint32_t, PassThruError> AddFilterRaw(const Connection& connection,
                                             std::string_view filter_type, const Bytes& mask,
                                             const Bytes& pattern, bool extended) {
  auto type = FilterType(filter_type);
  if (!type) return std::move(type).error();
  if (mask.empty() || pattern.empty()) {
    return RefusedError("ERR_J2534_ADD_FILTER_FAILED: mask/pattern must be 1-12 bytes");
  }
  return StartFilter(connection.main_channel(), *type, CutTo(mask, kMaxRawFilterBytes),
                     CutTo(pattern, kMaxRawFilterBytes), extended ? kCan29BitId : 0);
}

Result<void, PassThruError> RemoveFilter(const Connection& connection, uint32_t filter_id) {
  auto stop = connection.library().Resolve<PassThruStopMsgFilterFn>("PassThruStopMsgFilter");
  if (!stop) return std::move(stop).error();
  auto status = static_cast<uint32_t>((*stop)(connection.channel_id(), filter_id));
  if (status != kStatusNoError) return StatusError("ERR_J2534_REMOVE_FILTER_FAILED:", status);
  return {};
}

Result<void, PassThruError> ClearFilters(const Connection& connection) {
  return SimpleIoctl(connection, kClearMsgFilters, "ERR_J2534_CLEAR_FILTERS_FAILED:");
}

}  // namespace tarnix::j2534
