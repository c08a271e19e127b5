// The connection sequence: load, open, connect, install the protocol's filters, switch loopback
// off.
#include "j2534/connect.h"

#include <array>

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

// The 05.00 resource record: the J1962 connector, pins 6 and 14 (CAN high and low).
constexpr uint32_t kJ1962Connector = 1;

std::string CodeAndName(uint32_t status) {
  return std::to_string(status) + " (" + StatusNameOrUnknown(status) + ")";
}

// PassThruConnect in the library's form. Fails only when the entry point is missing.
Result<uint32_t, PassThruError> CallConnect(const PassThruLibrary& library, bool api_0500,
                                            uint32_t device_id, uint32_t protocol_id,
                                            uint32_t flags, uint32_t baud_rate,
                                            uint32_t& channel_id) {
  channel_id = 0;
  if (api_0500) {
    auto connect = library.Resolve<passthru::PassThruConnect0500Fn>(passthru::Entry::kConnect);
    if (!connect) return std::move(connect).error();
    std::array<uint32_t, 2> pins = {6, 14};
    passthru::ResourceStruct resources{kJ1962Connector, static_cast<uint32_t>(pins.size()),
                                       pins.data()};
    return static_cast<uint32_t>(
        (*connect)(device_id, protocol_id, flags, baud_rate, resources, &channel_id));
  }
  auto connect = library.Resolve<passthru::PassThruConnectFn>(passthru::Entry::kConnect);
  if (!connect) return std::move(connect).error();
  return static_cast<uint32_t>((*connect)(device_id, protocol_id, flags, baud_rate, &channel_id));
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
  auto status =
      CallConnect(connection.library(), connection.api_0500(), connection.device_id(),
                  parameters.protocol_id, passthru::kCan29BitId, parameters.baud_rate, channel_id);
  if (!status) return;
  if (*status != passthru::kStatusNoError) {
    LogLine("[j2534] Could not open 29-bit channel: " + CodeAndName(*status) +
            " \xE2\x80\x94 relying on CAN_ID_BOTH");
    return;
  }
  ChannelRef channel{connection.library(), connection.api_0500(), channel_id,
                     parameters.protocol_id};
  auto filter =
      StartFilter(channel, passthru::kPassFilter, kZero4, kPattern29Bit, passthru::kCan29BitId);
  if (!filter) LogLine("[j2534] 29-bit channel filter failed: " + filter.error().text);
  LogLine("[j2534] Opened dedicated 29-bit channel (id=" + std::to_string(channel_id) + ")");
  connection.SetChannel29Bit(channel_id);
}

// PassThruOpen with no device name: the device id, or the error.
Result<uint32_t, PassThruError> OpenDevice(const PassThruLibrary& library) {
  auto open = library.Resolve<passthru::PassThruOpenFn>(passthru::Entry::kOpen);
  if (!open) return std::move(open).error();
  uint32_t device_id = 0;
  auto status = static_cast<uint32_t>((*open)(nullptr, &device_id));
  if (status != passthru::kStatusNoError) {
    return CallFailedError("OPEN_FAILED", status, LastErrorText(library));
  }
  return device_id;
}

}  // namespace

Result<Connection, PassThruError> RunConnectionSequence(const ConnectParameters& parameters,
                                                        const Clock& clock) {
  auto library = PassThruLibrary::Load(parameters.dll_path);
  if (!library) return std::move(library).error();
  StartTrace(*library, parameters.trace, parameters.dll_path);
  auto device_id = OpenDevice(*library);
  if (!device_id) return std::move(device_id).error();
  bool api_0500 = library->IsApi0500();

  uint32_t channel_id = 0;
  auto status = CallConnect(*library, api_0500, *device_id, parameters.protocol_id,
                            parameters.connect_flags, parameters.baud_rate, channel_id);
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

  ChannelRef channel{*library, api_0500, channel_id, parameters.protocol_id};
  uint32_t protocol = parameters.protocol_id;
  if (protocol == passthru::kIso9141 || protocol == passthru::kIso14230) {
    auto filter = InstallKlineFilter(channel);
    if (!filter) {
      CloseQuietly(*library, *device_id);
      return std::move(filter).error();
    }
  } else if (passthru::IsCanLike(protocol)) {
    auto filters = InstallCanFilters(channel, parameters.connect_flags);
    if (!filters) {
      DisconnectQuietly(*library, channel_id);
      CloseQuietly(*library, *device_id);
      return std::move(filters).error();
    }
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
