// Message filters: the start primitive, identifier and byte filters, removing and clearing.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// What PassThruStartMsgFilter answered: its status and, on success, the filter id.
struct FilterStart {
  uint32_t status = 0;
  uint32_t filter_id = 0;
};

/// Calls PassThruStartMsgFilter on `channel` in its form, mask and pattern records (and the
/// flow-control record, when given) carrying `tx_flags`. 04.04 passes the flow-control record or
/// null; 05.00 has no such argument, so a given flow-control message is refused there with
/// "ERR_J2534_FILTER_FAILED: flow_control needs a 04.04 library" before anything is called.
/// Otherwise fails only when the entry point is missing; the library's status is returned as it
/// came.
Result<FilterStart, PassThruError> CallStartMsgFilter(
    const ChannelRef& channel, uint32_t filter_type, const wire::Bytes& mask,
    const wire::Bytes& pattern, uint32_t tx_flags,
    const std::optional<wire::Bytes>& flow_control = std::nullopt);

/// The same with the mask, pattern and flow-control records (null: none) already packed.
Result<FilterStart, PassThruError> CallStartMsgFilter(const ChannelRef& channel,
                                                      uint32_t filter_type, MessageArray& mask,
                                                      MessageArray& pattern,
                                                      MessageArray* flow_control);

/// The filter id of a start that succeeded; a non-zero status fails with FILTER_FAILED and the
/// library's last-error text.
Result<uint32_t, PassThruError> FilterStarted(const ChannelRef& channel,
                                              Result<FilterStart, PassThruError> start);

/// Starts a filter on `channel` and answers its id. A non-zero status fails with FILTER_FAILED and
/// the library's last-error text.
Result<uint32_t, PassThruError> StartFilter(
    const ChannelRef& channel, uint32_t filter_type, const wire::Bytes& mask,
    const wire::Bytes& pattern, uint32_t tx_flags,
    const std::optional<wire::Bytes>& flow_control = std::nullopt);

/// "pass", "block" or "flow_control" (exactly) as the J2534 filter type; "Invalid filter type".
Result<uint32_t, PassThruError> FilterType(std::string_view filter_type);

/// An identifier filter: mask and pattern cut or zero-padded to 4 bytes; TxFlags CAN_29BIT_ID
/// when `extended`, on every protocol. `flow_control` counts only for a "flow_control" filter
/// (ignored with another type): shaped like the pattern, it becomes the flow-control message.
Result<uint32_t, PassThruError> AddFilter(
    const Port& connection, std::string_view filter_type, const wire::Bytes& mask,
    const wire::Bytes& pattern, bool extended,
    const std::optional<wire::Bytes>& flow_control = std::nullopt);

/// A byte filter: mask and pattern each 1 to 12 bytes (longer ones cut to 12, empty refused); so
/// is the flow-control message of a "flow_control" filter, when given (ignored with another type).
Result<uint32_t, PassThruError> AddFilterRaw(
    const Port& connection, std::string_view filter_type, const wire::Bytes& mask,
    const wire::Bytes& pattern, bool extended,
    const std::optional<wire::Bytes>& flow_control = std::nullopt);

/// PassThruStopMsgFilter on the main channel.
Result<void, PassThruError> RemoveFilter(const Port& connection, uint32_t filter_id);

/// Ioctl CLEAR_MSG_FILTERS on the main channel, the connection's own pass filters included.
Result<void, PassThruError> ClearFilters(const Port& connection);

}  // namespace tarnix::j2534
