// Device and channel queries and settings through PassThruIoctl, PassThruReadVersion and
// PassThruGetLastError.
#include "j2534/ioctl.h"

#include <array>

#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"

namespace tarnix::j2534 {
namespace {

Result<uint32_t, PassThruError> ConfigIoctl(const ChannelRef& channel, uint32_t ioctl_id,
                                            passthru::SConfig& config) {
  passthru::SConfigList list{1, &config};
  return CallIoctl(channel.library, channel.channel_id, ioctl_id, &list, nullptr);
}

// One SCONFIG_LIST of `items` (never a null ConfigPtr, even when empty).
Result<uint32_t, PassThruError> ConfigListIoctl(const ChannelRef& channel, uint32_t ioctl_id,
                                                std::vector<passthru::SConfig>& items) {
  items.reserve(1);
  passthru::SConfigList list{static_cast<uint32_t>(items.size()), items.data()};
  return CallIoctl(channel.library, channel.channel_id, ioctl_id, &list, nullptr);
}

// The voltages belong to the device, and conforming libraries take these ioctls only on the device
// id; lenient ones also take the channel. The channel is asked first, so that libraries that
// accept it see no change, and the device only when the library rejects the channel as a handle.
// A handle given is asked alone.
Result<double, PassThruError> ReadVoltage(const Connection& connection,
                                          std::optional<uint32_t> handle, uint32_t ioctl_id,
                                          const std::string& failure_head) {
  const Channel* main = connection.main();
  const bool fallback = !handle && main != nullptr;
  if (!handle) handle = main != nullptr ? main->id() : connection.device_id();
  uint32_t millivolts = 0;
  auto status = CallIoctl(connection.library(), *handle, ioctl_id, nullptr, &millivolts);
  if (fallback && status &&
      (*status == passthru::kErrInvalidChannelId || *status == passthru::kErrInvalidDeviceId)) {
    millivolts = 0;
    status =
        CallIoctl(connection.library(), connection.device_id(), ioctl_id, nullptr, &millivolts);
  }
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) return StatusError(failure_head, *status);
  return millivolts / 1000.0;
}

}  // namespace

Result<uint32_t, PassThruError> CallIoctl(const PassThruLibrary& library, uint32_t channel_id,
                                          uint32_t ioctl_id, void* input, void* output) {
  auto ioctl = library.Resolve<passthru::PassThruIoctlFn>(passthru::Entry::kIoctl);
  if (!ioctl) return std::move(ioctl).error();
  return static_cast<uint32_t>((*ioctl)(channel_id, ioctl_id, input, output));
}

Result<void, PassThruError> SimpleIoctl(const Port& connection, uint32_t ioctl_id,
                                        const std::string& failure_head) {
  auto status =
      CallIoctl(connection.library(), connection.channel_id(), ioctl_id, nullptr, nullptr);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError) return StatusError(failure_head, *status);
  return {};
}

Result<uint32_t, PassThruError> GetConfig(const ChannelRef& channel, uint32_t parameter) {
  passthru::SConfig config{parameter, 0};
  auto status = ConfigIoctl(channel, passthru::kGetConfig, config);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_GET_CONFIG_FAILED:", *status);
  return config.Value;
}

Result<void, PassThruError> SetConfig(const ChannelRef& channel, uint32_t parameter,
                                      uint32_t value) {
  passthru::SConfig config{parameter, value};
  auto status = ConfigIoctl(channel, passthru::kSetConfig, config);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_SET_CONFIG_FAILED:", *status);
  return {};
}

Result<std::vector<wire::ConfigEntry>, PassThruError> GetConfigList(
    const Port& connection, const std::vector<uint32_t>& parameters) {
  std::vector<passthru::SConfig> items;
  for (uint32_t parameter : parameters)
    items.push_back(passthru::SConfig{parameter, 0});
  auto status = ConfigListIoctl(connection.ref(), passthru::kGetConfig, items);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_GET_CONFIG_FAILED:", *status);
  std::vector<wire::ConfigEntry> values;
  for (const passthru::SConfig& item : items)
    values.push_back({item.Parameter, item.Value});
  return values;
}

Result<void, PassThruError> SetConfigList(const Port& connection,
                                          const std::vector<wire::ConfigEntry>& parameters) {
  std::vector<passthru::SConfig> items;
  for (const wire::ConfigEntry& entry : parameters)
    items.push_back(passthru::SConfig{entry.parameter, entry.value});
  auto status = ConfigListIoctl(connection.ref(), passthru::kSetConfig, items);
  if (!status) return std::move(status).error();
  if (*status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_SET_CONFIG_FAILED:", *status);
  return {};
}

Result<uint32_t, PassThruError> GetConfig(const Port& connection, uint32_t parameter) {
  return GetConfig(connection.main_channel(), parameter);
}

Result<void, PassThruError> SetConfig(const Port& connection, uint32_t parameter, uint32_t value) {
  return SetConfig(connection.main_channel(), parameter, value);
}

Result<bool, PassThruError> GetLoopback(const Port& connection) {
  auto value = GetConfig(connection, passthru::kLoopback);
  if (!value) return std::move(value).error();
  return *value != 0;
}

Result<void, PassThruError> SetLoopback(const Port& connection, bool enabled) {
  return SetConfig(connection, passthru::kLoopback, enabled ? 1 : 0);
}

Result<uint32_t, PassThruError> GetDataRate(const Port& connection) {
  return GetConfig(connection, passthru::kDataRate);
}

Result<double, PassThruError> ReadBatteryVoltage(const Connection& connection,
                                                 std::optional<uint32_t> handle) {
  return ReadVoltage(connection, handle, passthru::kReadVbatt, "ERR_J2534_READ_VBATT_FAILED:");
}

Result<double, PassThruError> ReadProgrammingVoltage(const Connection& connection,
                                                     std::optional<uint32_t> handle) {
  return ReadVoltage(connection, handle, passthru::kReadProgVoltage,
                     "ERR_J2534_READ_PROG_VOLTAGE_FAILED:");
}

Result<void, PassThruError> SetProgrammingVoltage(const Connection& connection, uint32_t pin,
                                                  uint32_t voltage) {
  auto set = connection.library().Resolve<passthru::PassThruSetProgrammingVoltageFn>(
      passthru::Entry::kSetProgrammingVoltage);
  if (!set) return std::move(set).error();
  auto status = static_cast<uint32_t>((*set)(connection.device_id(), pin, voltage));
  if (status != passthru::kStatusNoError) {
    return CallFailedError("SET_PROG_VOLTAGE_FAILED", status, LastErrorText(connection.library()));
  }
  return {};
}

Result<void, PassThruError> ClearBuffers(const Port& connection,
                                         std::optional<wire::BufferChoice> only) {
  if (only != wire::BufferChoice::Rx) {
    auto tx = SimpleIoctl(connection, passthru::kClearTxBuffer,
                          "ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER");
    if (!tx || only == wire::BufferChoice::Tx) return tx;
  }
  return SimpleIoctl(connection, passthru::kClearRxBuffer,
                     "ERR_J2534_IOCTL_FAILED: CLEAR_RX_BUFFER");
}

Result<wire::VersionInfo, PassThruError> ReadVersion(const Connection& connection) {
  auto read_version =
      connection.library().Resolve<passthru::PassThruReadVersionFn>(passthru::Entry::kReadVersion);
  if (!read_version) return std::move(read_version).error();
  std::array<char, passthru::kTextSize> firmware{};
  std::array<char, passthru::kTextSize> library{};
  std::array<char, passthru::kTextSize> api{};
  auto status = static_cast<uint32_t>(
      (*read_version)(connection.device_id(), firmware.data(), library.data(), api.data()));
  if (status != passthru::kStatusNoError)
    return StatusError("ERR_J2534_READ_VERSION_FAILED:", status);
  return wire::VersionInfo{BufferText(firmware.data(), firmware.size()),
                           BufferText(library.data(), library.size()),
                           BufferText(api.data(), api.size())};
}

Result<std::string, PassThruError> ReadLastError(const Connection& connection) {
  auto get_last_error = connection.library().Resolve<passthru::PassThruGetLastErrorFn>(
      passthru::Entry::kGetLastError);
  if (!get_last_error) return std::move(get_last_error).error();
  std::array<char, passthru::kTextSize> text{};
  (*get_last_error)(text.data());
  return BufferText(text.data(), text.size());
}

}  // namespace tarnix::j2534
