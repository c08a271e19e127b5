// Name tables for status codes, ioctls, configuration parameters and filter types.
#include "passthru/names.h"

#include <array>
#include <utility>

#include "passthru/numbers.h"

namespace tarnix::passthru {
namespace {

constexpr std::array<std::string_view, 27> kStatusNames = {
    "STATUS_NOERROR",           "ERR_NOT_SUPPORTED",
    "ERR_INVALID_CHANNEL_ID",   "ERR_INVALID_PROTOCOL_ID",
    "ERR_NULL_PARAMETER",       "ERR_INVALID_IOCTL_VALUE",
    "ERR_INVALID_FLAGS",        "ERR_FAILED",
    "ERR_DEVICE_NOT_CONNECTED", "ERR_TIMEOUT",
    "ERR_INVALID_MSG",          "ERR_INVALID_TIME_INTERVAL",
    "ERR_EXCEEDED_LIMIT",       "ERR_INVALID_MSG_ID",
    "ERR_DEVICE_IN_USE",        "ERR_INVALID_IOCTL_ID",
    "ERR_BUFFER_EMPTY",         "ERR_BUFFER_FULL",
    "ERR_BUFFER_OVERFLOW",      "ERR_PIN_INVALID",
    "ERR_CHANNEL_IN_USE",       "ERR_MSG_PROTOCOL_ID",
    "ERR_INVALID_FILTER_ID",    "ERR_NO_FLOW_CONTROL",
    "ERR_NOT_UNIQUE",           "ERR_INVALID_BAUDRATE",
    "ERR_INVALID_DEVICE_ID",
};

using Entry = std::pair<uint32_t, std::string_view>;

constexpr std::array<Entry, 15> kIoctls = {{
    {1, "GET_CONFIG"},
    {2, "SET_CONFIG"},
    {3, "READ_VBATT"},
    {4, "FIVE_BAUD_INIT"},
    {5, "FAST_INIT"},
    {7, "CLEAR_TX_BUFFER"},
    {8, "CLEAR_RX_BUFFER"},
    {9, "CLEAR_PERIODIC_MSGS"},
    {10, "CLEAR_MSG_FILTERS"},
    {11, "CLEAR_FUNCT_MSG_LOOKUP_TABLE"},
    {12, "ADD_TO_FUNCT_MSG_LOOKUP_TABLE"},
    {13, "DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE"},
    {14, "READ_PROG_VOLTAGE"},
    {0x8000, "SW_CAN_HS"},
    {0x8001, "SW_CAN_NS"},
}};

constexpr std::array<Entry, 33> kParameters = {{
    {0x01, "DATA_RATE"},
    {0x03, "LOOPBACK"},
    {0x04, "NODE_ADDRESS"},
    {0x05, "NETWORK_LINE"},
    {0x06, "P1_MIN"},
    {0x07, "P1_MAX"},
    {0x08, "P2_MIN"},
    {0x09, "P2_MAX"},
    {0x0A, "P3_MIN"},
    {0x0B, "P3_MAX"},
    {0x0C, "P4_MIN"},
    {0x0D, "P4_MAX"},
    {0x0E, "W1"},
    {0x0F, "W2"},
    {0x10, "W3"},
    {0x11, "W4"},
    {0x12, "W5"},
    {0x13, "TIDLE"},
    {0x14, "TINIL"},
    {0x15, "TWUP"},
    {0x16, "PARITY"},
    {0x17, "BIT_SAMPLE_POINT"},
    {0x18, "SYNC_JUMP_WIDTH"},
    {0x19, "W0"},
    {0x1A, "T1_MAX"},
    {0x1B, "T2_MAX"},
    {0x1C, "T4_MAX"},
    {0x1D, "T5_MAX"},
    {0x1E, "ISO15765_BS"},
    {0x1F, "ISO15765_STMIN"},
    {0x20, "DATA_BITS"},
    {0x21, "FIVE_BAUD_MOD"},
    {0x8001, "J1962_PINS"},
}};

template <size_t N>
std::optional<std::string_view> Lookup(const std::array<Entry, N>& table, uint32_t id) {
  for (const auto& [value, name] : table) {
    if (value == id) return name;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string_view> StatusName(uint32_t code) {
  if (code < kStatusNames.size()) return kStatusNames[code];
  return std::nullopt;
}

std::optional<uint32_t> StatusByName(std::string_view name) {
  for (uint32_t code = 0; code < kStatusNames.size(); ++code) {
    if (kStatusNames[code] == name) return code;
  }
  return std::nullopt;
}

std::optional<std::string_view> IoctlName(uint32_t id) {
  return Lookup(kIoctls, id);
}

std::optional<uint32_t> IoctlByName(std::string_view name) {
  for (const auto& [value, entry] : kIoctls) {
    if (entry == name) return value;
  }
  return std::nullopt;
}

std::optional<std::string_view> ParameterName(uint32_t id) {
  return Lookup(kParameters, id);
}

std::optional<std::string_view> FilterTypeName(uint32_t type) {
  switch (type) {
    case kPassFilter:
      return "PASS_FILTER";
    case kBlockFilter:
      return "BLOCK_FILTER";
    case kFlowControlFilter:
      return "FLOW_CONTROL_FILTER";
    default:
      return std::nullopt;
  }
}

}  // namespace tarnix::passthru
