// Device and channel queries and settings through PassThruIoctl, PassThruReadVersion and
// PassThruGetLastError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/records.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Resolves PassThruIoctl and calls it on `channel_id`; fails only when the entry point is
/// missing, answering the library's status otherwise.
Result<uint32_t, PassThruError> CallIoctl(const PassThruLibrary& library, uint32_t channel_id,
                                          uint32_t ioctl_id, void* input, void* output);

/// An ioctl without input or output on the main channel; a non-zero status fails with
/// StatusText(`failure_head`, status).
Result<void, PassThruError> SimpleIoctl(const Port& connection, uint32_t ioctl_id,
                                        const std::string& failure_head);

/// GET_CONFIG of one parameter on `channel`.
Result<uint32_t, PassThruError> GetConfig(const ChannelRef& channel, uint32_t parameter);
/// SET_CONFIG of one parameter on `channel`.
Result<void, PassThruError> SetConfig(const ChannelRef& channel, uint32_t parameter,
                                      uint32_t value);

/// GET_CONFIG of several parameters in one SCONFIG_LIST: the values read, in order.
Result<std::vector<wire::ConfigEntry>, PassThruError> GetConfigList(
    const Port& connection, const std::vector<uint32_t>& parameters);
/// SET_CONFIG of several parameters in one SCONFIG_LIST.
Result<void, PassThruError> SetConfigList(const Port& connection,
                                          const std::vector<wire::ConfigEntry>& parameters);

Result<uint32_t, PassThruError> GetConfig(const Port& connection, uint32_t parameter);
Result<void, PassThruError> SetConfig(const Port& connection, uint32_t parameter, uint32_t value);
/// LOOPBACK; any non-zero value is true.
Result<bool, PassThruError> GetLoopback(const Port& connection);
Result<void, PassThruError> SetLoopback(const Port& connection, bool enabled);
/// DATA_RATE in bits per second.
Result<uint32_t, PassThruError> GetDataRate(const Port& connection);

/// READ_VBATT in volts. Without `handle`, on the main channel, and when the library answers
/// ERR_INVALID_CHANNEL_ID or ERR_INVALID_DEVICE_ID once more on the device id, that call's answer
/// counting (with no main channel, on the device alone). With `handle` (a channel's id or the
/// device's), on that handle alone.
Result<double, PassThruError> ReadBatteryVoltage(const Connection& connection,
                                                 std::optional<uint32_t> handle = std::nullopt);
/// READ_PROG_VOLTAGE in volts, asked as ReadBatteryVoltage asks.
Result<double, PassThruError> ReadProgrammingVoltage(const Connection& connection,
                                                     std::optional<uint32_t> handle = std::nullopt);

/// PassThruSetProgrammingVoltage on the device; a failure carries the last-error text.
Result<void, PassThruError> SetProgrammingVoltage(const Connection& connection, uint32_t pin,
                                                  uint32_t voltage);

/// CLEAR_TX_BUFFER, then (only when that succeeded) CLEAR_RX_BUFFER; or the one queue `only`
/// names.
Result<void, PassThruError> ClearBuffers(const Port& connection,
                                         std::optional<wire::BufferChoice> only = std::nullopt);

/// PassThruReadVersion on the device: firmware, library and API texts, untrimmed.
Result<wire::VersionInfo, PassThruError> ReadVersion(const Connection& connection);

/// PassThruGetLastError into 80 bytes, whatever status it returns; untrimmed, possibly empty.
Result<std::string, PassThruError> ReadLastError(const Connection& connection);

}  // namespace tarnix::j2534
