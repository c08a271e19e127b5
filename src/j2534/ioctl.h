// Device and channel queries and settings through PassThruIoctl, PassThruReadVersion and
// PassThruGetLastError.
#pragma once

#include <cstdint>
#include <string>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// Resolves PassThruIoctl and calls it on `channel_id`; fails only when the entry point is
/// missing, answering the library's status otherwise.
Result<uint32_t, PassThruError> CallIoctl(const PassThruLibrary& library, uint32_t channel_id,
                                          uint32_t ioctl_id, void* input, void* output);

/// An ioctl without input or output on the main channel; a non-zero status fails with
/// StatusText(`failure_head`, status).
Result<void, PassThruError> SimpleIoctl(const Connection& connection, uint32_t ioctl_id,
                                        const std::string& failure_head);

/// GET_CONFIG of one parameter on `channel`.
Result<uint32_t, PassThruError> GetConfig(const ChannelRef& channel, uint32_t parameter);
/// SET_CONFIG of one parameter on `channel`.
Result<void, PassThruError> SetConfig(const ChannelRef& channel, uint32_t parameter,
                                      uint32_t value);

Result<uint32_t, PassThruError> GetConfig(const Connection& connection, uint32_t parameter);
Result<void, PassThruError> SetConfig(const Connection& connection, uint32_t parameter,
                                      uint32_t value);
/// LOOPBACK; any non-zero value is true.
Result<bool, PassThruError> GetLoopback(const Connection& connection);
Result<void, PassThruError> SetLoopback(const Connection& connection, bool enabled);
/// DATA_RATE in bits per second.
Result<uint32_t, PassThruError> GetDataRate(const Connection& connection);

/// READ_VBATT on the main channel, in volts. When the library answers ERR_INVALID_CHANNEL_ID or
/// ERR_INVALID_DEVICE_ID, it is asked once more on the device id, and that call's answer counts.
Result<double, PassThruError> ReadBatteryVoltage(const Connection& connection);
/// READ_PROG_VOLTAGE in volts, on the main channel and then the device like ReadBatteryVoltage.
Result<double, PassThruError> ReadProgrammingVoltage(const Connection& connection);

/// CLEAR_TX_BUFFER, then (only when that succeeded) CLEAR_RX_BUFFER.
Result<void, PassThruError> ClearBuffers(const Connection& connection);

/// PassThruReadVersion on the device: firmware, library and API texts, untrimmed.
Result<wire::VersionInfo, PassThruError> ReadVersion(const Connection& connection);

/// PassThruGetLastError into 80 bytes, whatever status it returns; untrimmed, possibly empty.
Result<std::string, PassThruError> ReadLastError(const Connection& connection);

}  // namespace tarnix::j2534
