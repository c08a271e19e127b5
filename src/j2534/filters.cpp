// Message filters: the start primitive, identifier and byte filters, removing and clearing.
#include "j2534/filters.h"

#include <algorithm>

#include "j2534/ioctl.h"
#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

constexpr size_t kIdFilterBytes = 4;
constexpr size_t kMaxRawFilterBytes = 12;

// An identifier filter's record: exactly 4 bytes, cut or padded with zeros.
wire::Bytes IdBytes(const wire::Bytes& bytes) {
  wire::Bytes out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                     std::min(kIdFilterBytes, bytes.size())));
  out.resize(kIdFilterBytes, 0);
  return out;
}

// A byte filter's record: its first 12 bytes at most.
wire::Bytes RawBytes(const wire::Bytes& bytes) {
  return wire::Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                        kMaxRawFilterBytes, bytes.size())));
}

// The flow-control message of a request, shaped like its pattern; only a flow-control filter
// takes one, so with another type it is dropped.
std::optional<wire::Bytes> FlowControlFor(uint32_t type,
                                          const std::optional<wire::Bytes>& flow_control,
                                          wire::Bytes (*shape)(const wire::Bytes&)) {
  if (type != passthru::kFlowControlFilter || !flow_control) return std::nullopt;
  return shape(*flow_control);
}

}  // namespace

Result<FilterStart, PassThruError> CallStartMsgFilter(const ChannelRef& channel,
                                                      uint32_t filter_type, MessageArray& mask,
                                                      MessageArray& pattern,
                                                      MessageArray* flow_control) {
  if (channel.api_0500 && flow_control != nullptr) {
    return RefusedError("ERR_J2534_FILTER_FAILED: flow_control needs a 04.04 library");
  }
  FilterStart start;
  if (channel.api_0500) {
    auto fn = channel.library.Resolve<passthru::PassThruStartMsgFilter0500Fn>(
        passthru::Entry::kStartMsgFilter);
    if (!fn) return std::move(fn).error();
    start.status = static_cast<uint32_t>((*fn)(channel.channel_id, filter_type, mask.records(),
                                               pattern.records(), &start.filter_id));
  } else {
    auto fn = channel.library.Resolve<passthru::PassThruStartMsgFilterFn>(
        passthru::Entry::kStartMsgFilter);
    if (!fn) return std::move(fn).error();
    start.status = static_cast<uint32_t>(
        (*fn)(channel.channel_id, filter_type, mask.records(), pattern.records(),
              flow_control != nullptr ? flow_control->records() : nullptr, &start.filter_id));
  }
  return start;
}

Result<FilterStart, PassThruError> CallStartMsgFilter(
    const ChannelRef& channel, uint32_t filter_type, const wire::Bytes& mask,
    const wire::Bytes& pattern, uint32_t tx_flags, const std::optional<wire::Bytes>& flow_control) {
  const auto record = [&](const wire::Bytes& bytes) {
    return MessageArray::ForSend(channel.api_0500, channel.protocol_id, {{bytes, tx_flags}});
  };
  MessageArray mask_record = record(mask);
  MessageArray pattern_record = record(pattern);
  std::optional<MessageArray> flow_record;
  if (flow_control) flow_record = record(*flow_control);
  return CallStartMsgFilter(channel, filter_type, mask_record, pattern_record,
                            flow_record ? &*flow_record : nullptr);
}

Result<uint32_t, PassThruError> FilterStarted(const ChannelRef& channel,
                                              Result<FilterStart, PassThruError> start) {
  if (!start) return std::move(start).error();
  if (start->status != passthru::kStatusNoError) {
    return CallFailedError("FILTER_FAILED", start->status, LastErrorText(channel.library));
  }
  return start->filter_id;
}

Result<uint32_t, PassThruError> StartFilter(const ChannelRef& channel, uint32_t filter_type,
                                            const wire::Bytes& mask, const wire::Bytes& pattern,
                                            uint32_t tx_flags,
                                            const std::optional<wire::Bytes>& flow_control) {
  return FilterStarted(
      channel, CallStartMsgFilter(channel, filter_type, mask, pattern, tx_flags, flow_control));
}

Result<uint32_t, PassThruError> FilterType(std::string_view filter_type) {
  if (filter_type == "pass") return passthru::kPassFilter;
  if (filter_type == "block") return passthru::kBlockFilter;
  if (filter_type == "flow_control") return passthru::kFlowControlFilter;
  return RefusedError("Invalid filter type");
}

Result<uint32_t, PassThruError> AddFilter(const Port& connection, std::string_view filter_type,
                                          const wire::Bytes& mask, const wire::Bytes& pattern,
                                          bool extended,
                                          const std::optional<wire::Bytes>& flow_control) {
  auto type = FilterType(filter_type);
  if (!type) return std::move(type).error();
  return StartFilter(connection.main_channel(), *type, IdBytes(mask), IdBytes(pattern),
                     extended ? passthru::kCan29BitId : 0,
                     FlowControlFor(*type, flow_control, IdBytes));
}

Result<uint32_t, PassThruError> AddFilterRaw(const Port& connection, std::string_view filter_type,
                                             const wire::Bytes& mask, const wire::Bytes& pattern,
                                             bool extended,
                                             const std::optional<wire::Bytes>& flow_control) {
  auto type = FilterType(filter_type);
  if (!type) return std::move(type).error();
  if (mask.empty() || pattern.empty()) {
    return RefusedError("ERR_J2534_ADD_FILTER_FAILED: mask/pattern must be 1-12 bytes");
  }
  std::optional<wire::Bytes> flow = FlowControlFor(*type, flow_control, RawBytes);
  if (flow && flow->empty()) {
    return RefusedError("ERR_J2534_ADD_FILTER_FAILED: flow_control must be 1-12 bytes");
  }
  return StartFilter(connection.main_channel(), *type, RawBytes(mask), RawBytes(pattern),
                     extended ? passthru::kCan29BitId : 0, flow);
}

Result<void, PassThruError> RemoveFilter(const Port& connection, uint32_t filter_id) {
  auto stop = connection.library().Resolve<passthru::PassThruStopMsgFilterFn>(
      passthru::Entry::kStopMsgFilter);
  if (!stop) return std::move(stop).error();
  auto status = static_cast<uint32_t>((*stop)(connection.channel_id(), filter_id));
  if (status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_REMOVE_FILTER_FAILED:", status);
  return {};
}

Result<void, PassThruError> ClearFilters(const Port& connection) {
  return SimpleIoctl(connection, passthru::kClearMsgFilters, "ERR_J2534_CLEAR_FILTERS_FAILED:");
}

}  // namespace tarnix::j2534
