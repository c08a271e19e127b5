// Device and channel queries and settings through PassThruIoctl, PassThruReadVersion and
// PassThruGetLastError.
#include "j2534/ioctl.h"

#include <array>

#include "j2534/passthru_abi.h"

namespace tarnix::j2534 {
namespace {

// The standard's size for version and error texts.
constexpr size_t kTextBufferSize = 80;

Result<uint32_t, PassThruError> ConfigIoctl(const ChannelRef& channel, uint32_t ioctl_id,
                                            SConfig& config) {
  SConfigList list{1, &config};
  return CallIoctl(channel.library, channel.channel_id, ioctl_id, &list, nullptr);
}

// One SCONFIG_LIST of `items` (never a null ConfigPtr, even when empty).
Result<uint32_t, PassThruError> ConfigListIoctl(const ChannelRef& channel, uint32_t ioctl_id,
                                                std::vector<SConfig>& items) {
  items.reserve(1);
  SConfigList list{static_cast<uint32_t>(items.size()), items.data()};
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
  if (fallback && status && (*status == kErrInvalidChannelId || *status == kErrInvalidDeviceId)) {
    millivolts = 0;
    status =
        CallIoctl(connection.library(), connection.device_id(), ioctl_id, nullptr, &millivolts);
  }
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) return StatusError(failure_head, *status);
  return millivolts / 1000.0;
}

}  // namespace

Result<uint32_t, PassThruError> CallIoctl(const PassThruLibrary& library, uint32_t channel_id,
                                          uint32_t ioctl_id, void* input, void* output) {
  auto ioctl = library.Resolve<PassThruIoctlFn>("PassThruIoctl");
  if (!ioctl) return std::move(ioctl).error();
  return static_cast<uint32_t>((*ioctl)(channel_id, ioctl_id, input, output));
}

Result<void, PassThruError> SimpleIoctl(const Port& connection, uint32_t ioctl_id,
                                        const std::string& failure_head) {
  auto status =
      CallIoctl(connection.library(), connection.channel_id(), ioctl_id, nullptr, nullptr);
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) return StatusError(failure_head, *status);
  return {};
}

Result<uint32_t, PassThruError> GetConfig(const ChannelRef& channel, uint32_t parameter) {
  SConfig config{parameter, 0};
  auto status = ConfigIoctl(channel, kGetConfig, config);
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) return StatusError("ERR_J2534_GET_CONFIG_FAILED:", *status);
  return config.Value;
}

Result<void, PassThruError> SetConfig(const ChannelRef& channel, uint32_t parameter,
                                      uint32_t value) {
  SConfig config{parameter, value};
  auto status = ConfigIoctl(channel, kSetConfig, config);
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) return StatusError("ERR_J2534_SET_CONFIG_FAILED:", *status);
  return {};
}

Result<std::vector<protocol::ConfigEntry>, PassThruError> GetConfigList(
    const Port& connection, const std::vector<uint32_t>& parameters) {
  std::vector<SConfig> items;
  for (uint32_t parameter : parameters)
    items.push_back(SConfig{parameter, 0});
  auto status = ConfigListIoctl(connection.ref(), kGetConfig, items);
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) return StatusError("ERR_J2534_GET_CONFIG_FAILED:", *status);
  std::vector<protocol::ConfigEntry> values;
  for (const SConfig& item : items)
    values.push_back({item.Parameter, item.Value});
  return values;
}

Result<void, PassThruError> SetConfigList(const Port& connection,
                                          const std::vector<protocol::ConfigEntry>& parameters) {
  std::vector<SConfig> items;
  for (const protocol::ConfigEntry& entry : parameters)
    items.push_back(SConfig{entry.parameter, entry.value});
  auto status = ConfigListIoctl(connection.ref(), kSetConfig, items);
  if (!status) return std::move(status).error();
  if (*status != kStatusNoError) return StatusError("ERR_J2534_SET_CONFIG_FAILED:", *status);
  return {};
}

Result<uint32_t, PassThruError> GetConfig(const Port& connection, uint32_t parameter) {
  return GetConfig(connection.main_channel(), parameter);
}

Result<void, PassThruError> SetConfig(const Port& connection, uint32_t parameter, uint32_t value) {
  return SetConfig(connection.main_channel(), parameter, value);
}

Result<bool, PassThruError> GetLoopback(const Port& connection) {
  auto value = GetConfig(connection, kLoopback);
  if (!value) return std::move(value).error();
  return *value != 0;
}

Result<void, PassThruError> SetLoopback(const Port& connection, bool enabled) {
  return SetConfig(connection, kLoopback, enabled ? 1 : 0);
}

Result<uint32_t, PassThruError> GetDataRate(const Port& connection) {
  return GetConfig(connection, kDataRate);
}

Result<double, PassThruError> ReadBatteryVoltage(const Connection& connection,
                                                 std::optional<uint32_t> handle) {
  return ReadVoltage(connection, handle, kReadVbatt, "ERR_J2534_READ_VBATT_FAILED:");
}

Result<double, PassThruError> ReadProgrammingVoltage(const Connection& connection,
                                                     std::optional<uint32_t> handle) {
  return ReadVoltage(connection, handle, kReadProgVoltage, "ERR_J2534_READ_PROG_VOLTAGE_FAILED:");
}

Result<void, PassThruError> SetProgrammingVoltage(const Connection& connection, uint32_t pin,
                                                  uint32_t voltage) {
  auto set = connection.library().Resolve<PassThruSetProgrammingVoltageFn>(
      "PassThruSetProgrammingVoltage");
  if (!set) return std::move(set).error();
  auto status = static_cast<uint32_t>((*set)(connection.device_id(), pin, voltage));
  if (status != kStatusNoError) {
    return CallFailedError("SET_PROG_VOLTAGE_FAILED", status, LastErrorText(connection.library()));
  }
  return {};
}

Result<void, PassThruError> ClearBuffers(const Port& connection,
                                         std::optional<protocol::BufferChoice> only) {
  if (only != protocol::BufferChoice::Rx) {
    auto tx = SimpleIoctl(connection, kClearTxBuffer, "ERR_J2534_IOCTL_FAILED: CLEAR_TX_BUFFER");
    if (!tx || only == protocol::BufferChoice::Tx) return tx;
  }
  return SimpleIoctl(connection, kClearRxBuffer, "ERR_J2534_IOCTL_FAILED: CLEAR_RX_BUFFER");
}

Result<protocol::VersionInfo, PassThruError> ReadVersion(const Connection& connection) {
  auto read_version = connection.library().Resolve<PassThruReadVersionFn>("PassThruReadVersion");
  if (!read_version) return std::move(read_version).error();
  std::array<char, kTextBufferSize> firmware{};
  std::array<char, kTextBufferSize> library{};
  std::array<char, kTextBufferSize> api{};
  auto status = static_cast<uint32_t>(
      (*read_version)(connection.device_id(), firmware.data(), library.data(), api.data()));
  if (status != kStatusNoError) return StatusError("ERR_J2534_READ_VERSION_FAILED:", status);
  return protocol::VersionInfo{BufferText(firmware.data(), firmware.size()),
                               BufferText(library.data(), library.size()),
                               BufferText(api.data(), api.size())};
}

Result<std::string, PassThruError> ReadLastError(const Connection& connection) {
  auto get_last_error =
      connection.library().Resolve<PassThruGetLastErrorFn>("PassThruGetLastError");
  if (!get_last_error) return std::move(get_last_error).error();
  std::array<char, kTextBufferSize> text{};
  (*get_last_error)(text.data());
  return BufferText(text.data(), text.size());
}

}  // namespace tarnix::j2534
