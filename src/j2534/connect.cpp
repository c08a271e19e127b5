// The connection sequence: load, open, connect, install the protocol's filters, switch loopback
// off.
#include "j2534/connect.h"

#include <array>

#include "j2534/channels.h"
#include "j2534/filters.h"
#include "j2534/ioctl.h"
#include "log/log.h"
#include "passthru/abi.h"
#include "passthru/entry_points.h"
#include "passthru/numbers.h"
#include "wire/types.h"

namespace tarnix::j2534 {
namespace {

const wire::Bytes kZero4 = {0, 0, 0, 0};
const wire::Bytes kPattern29Bit = {0x10, 0xDA, 0xF1, 0x10};

std::string CodeAndName(uint32_t status) {
  return std::to_string(status) + " (" + StatusNameOrUnknown(status) + ")";
}

// The K-Line pass-all filter: one zero byte as mask and pattern. Its failure is only a warning.
Result<void, PassThruError> InstallKlineFilter(const ChannelRef& channel) {
  auto start = CallStartMsgFilter(channel, passthru::kPassFilter, {0}, {0}, 0);
  if (!start) return std::move(start).error();
  if (start->status != passthru::kStatusNoError) {
    LogLine("[j2534] Warning: K-Line pass-all filter failed: " + CodeAndName(start->status) +
            ". RX may not work.");
  }
  return {};
}

// The CAN pass filters. Only the first one is required.
Result<void, PassThruError> InstallCanFilters(const ChannelRef& channel, uint32_t connect_flags) {
  auto first = StartFilter(channel, passthru::kPassFilter, kZero4, kZero4, 0);
  if (!first) return std::move(first).error();
  if ((connect_flags & passthru::kCan29BitId) != 0) {
    auto second =
        StartFilter(channel, passthru::kPassFilter, kZero4, kPattern29Bit, passthru::kCan29BitId);
    if (!second) {
      LogLine("[j2534] Warning: 29-bit pass filter failed: " + second.error().text +
              ". Extended frames may not be received.");
    }
  }
  return {};
}

// The dedicated 29-bit channel, opened only for CAN_ID_BOTH alone; every failure is a warning.
void OpenChannel29Bit(Connection& connection, const ConnectParameters& parameters) {
  uint32_t channel_id = 0;
  auto status = CallConnect(connection.library(), connection.api_0500(), connection.device_id(),
                            *parameters.protocol_id, passthru::kCan29BitId, parameters.baud_rate,
                            std::nullopt, channel_id);
  if (!status) return;
  if (*status != passthru::kStatusNoError) {
    LogLine("[j2534] Could not open 29-bit channel: " + CodeAndName(*status) +
            " \xE2\x80\x94 relying on CAN_ID_BOTH");
    return;
  }
  ChannelRef channel{connection.library(), connection.api_0500(), channel_id,
                     *parameters.protocol_id};
  auto filter =
      StartFilter(channel, passthru::kPassFilter, kZero4, kPattern29Bit, passthru::kCan29BitId);
  if (!filter) LogLine("[j2534] 29-bit channel filter failed: " + filter.error().text);
  LogLine("[j2534] Opened dedicated 29-bit channel (id=" + std::to_string(channel_id) + ")");
  connection.SetChannel29Bit(channel_id);
}

// PassThruOpen with the device name (null without one): the device id, or the error.
Result<uint32_t, PassThruError> OpenDevice(const PassThruLibrary& library,
                                           const std::optional<std::string>& name) {
  auto open = library.Resolve<passthru::PassThruOpenFn>(passthru::Entry::kOpen);
  if (!open) return std::move(open).error();
  uint32_t device_id = 0;
  auto status = static_cast<uint32_t>(
      (*open)(name ? static_cast<const void*>(name->c_str()) : nullptr, &device_id));
  if (status != passthru::kStatusNoError) {
    return CallFailedError("OPEN_FAILED", status, LastErrorText(library));
  }
  return device_id;
}

}  // namespace

Result<Connection, PassThruError> RunConnectionSequence(const ConnectParameters& parameters,
                                                        const Clock& clock) {
  std::optional<PinPair> pins;
  if (parameters.j1962_pins) {
    auto checked = CheckPins(*parameters.j1962_pins);
    if (!checked) return std::move(checked).error();
    pins = *checked;
  }
  auto library = PassThruLibrary::Load(parameters.dll_path);
  if (!library) return std::move(library).error();
  StartTrace(*library, parameters.trace, parameters.dll_path);
  auto device_id = OpenDevice(*library, parameters.device_name);
  if (!device_id) return std::move(device_id).error();
  bool api_0500 = library->IsApi0500();
  if (!parameters.protocol_id) {
    return Connection(std::move(library).value(), *device_id, api_0500, clock);
  }

  const uint32_t protocol = *parameters.protocol_id;
  uint32_t channel_id = 0;
  auto status = CallConnect(*library, api_0500, *device_id, protocol, parameters.connect_flags,
                            parameters.baud_rate, pins, channel_id);
  if (!status) {
    // The device is open: close it rather than leave it to the library's unloading.
    CloseQuietly(*library, *device_id);
    return std::move(status).error();
  }
  if (*status != passthru::kStatusNoError) {
    auto last_error = LastErrorText(*library);
    CloseQuietly(*library, *device_id);
    return CallFailedError("CONNECT_FAILED", *status, last_error);
  }

  ChannelRef channel{*library, api_0500, channel_id, protocol};
  // A pin-switched channel carries nothing, its filters included, before its pins are set.
  auto installed = pins ? SetPins(channel, *pins) : Result<void, PassThruError>();
  if (installed && (protocol == passthru::kIso9141 || protocol == passthru::kIso14230)) {
    installed = InstallKlineFilter(channel);
  } else if (installed && passthru::IsCanLike(protocol)) {
    installed = InstallCanFilters(channel, parameters.connect_flags);
  }
  if (!installed) {
    DisconnectQuietly(*library, channel_id);
    CloseQuietly(*library, *device_id);
    return std::move(installed).error();
  }

  Connection connection(std::move(library).value(), *device_id, channel_id, protocol, api_0500,
                        clock);
  if (parameters.connect_flags == passthru::kCanIdBoth) OpenChannel29Bit(connection, parameters);
  if (!api_0500) {
    // Echoes of sent frames are suppressed by the bridge itself; the outcome is not reported.
    (void)SetConfig(connection, passthru::kLoopback, 0);
    (void)GetConfig(connection, passthru::kLoopback);
  }
  return connection;
}

}  // namespace tarnix::j2534
