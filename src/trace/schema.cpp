// The key table of call lines, per entry point and per ioctl.
#include "trace/schema.h"

#include <array>

#include "passthru/entry_points.h"
#include "passthru/numbers.h"

namespace tarnix::trace {
namespace {

constexpr uint16_t kNumberOrNull = kNumber | kNull;

constexpr KeyRule kOpen[] = {{"name", kText | kNull, true}, {"deviceId", kNumber, false}};
constexpr KeyRule kClose[] = {{"deviceId", kNumber, true}};
constexpr KeyRule kConnect[] = {{"deviceId", kNumber, true},    {"protocolId", kNumber, true},
                                {"flags", kNumber, true},       {"baudRate", kNumber, true},
                                {"resource", kResource, false}, {"channelId", kNumber, false}};
constexpr KeyRule kDisconnect[] = {{"channelId", kNumber, true}};
constexpr KeyRule kReadMsgs[] = {{"channelId", kNumber, true},
                                 {"count", kNumberOrNull, true},
                                 {"timeout", kNumber, true},
                                 {"countOut", kNumber, false},
                                 {"msgs", kRecords, false}};
constexpr KeyRule kWriteMsgs[] = {{"channelId", kNumber, true},
                                  {"count", kNumberOrNull, true},
                                  {"timeout", kNumber, true},
                                  {"msgs", kRecords | kNull, true},
                                  {"countOut", kNumber, false}};
constexpr KeyRule kQueueMsgs[] = {{"channelId", kNumber, true},
                                  {"count", kNumberOrNull, true},
                                  {"msgs", kRecords | kNull, true},
                                  {"countOut", kNumber, false}};
constexpr KeyRule kStartPeriodic[] = {{"channelId", kNumber, true},
                                      {"msg", kRecord | kNull, true},
                                      {"interval", kNumber, true},
                                      {"msgId", kNumber, false}};
constexpr KeyRule kStopPeriodic[] = {{"channelId", kNumber, true}, {"msgId", kNumber, true}};
constexpr KeyRule kStartFilter[] = {
    {"channelId", kNumber, true},       {"filterType", kNumber, true},
    {"filterTypeName", kText, true},    {"mask", kRecord | kNull, true},
    {"pattern", kRecord | kNull, true}, {"flowControl", kRecord | kNull, false},
    {"filterId", kNumber, false}};
constexpr KeyRule kStopFilter[] = {{"channelId", kNumber, true}, {"filterId", kNumber, true}};
constexpr KeyRule kSetVoltage[] = {
    {"deviceId", kNumber, true}, {"pin", kNumber, true}, {"voltage", kNumber, true}};
constexpr KeyRule kReadVersion[] = {{"deviceId", kNumber, true},
                                    {"firmware", kText, false},
                                    {"dll", kText, false},
                                    {"api", kText, false}};
constexpr KeyRule kGetLastError[] = {{"text", kText, false}};
constexpr KeyRule kScanForDevices[] = {{"deviceCount", kNumber, false}};
constexpr KeyRule kGetNextDevice[] = {{"name", kText, false},
                                      {"available", kNumber, false},
                                      {"dllFwStatus", kNumber, false},
                                      {"connectMedia", kNumber, false},
                                      {"connectSpeed", kNumber, false},
                                      {"signalQuality", kNumber, false},
                                      {"signalStrength", kNumber, false}};
constexpr KeyRule kIoctl[] = {
    {"handle", kNumber, true}, {"ioctlId", kNumber, true}, {"ioctl", kText, true}};

// Per ioctl: GET_CONFIG and SET_CONFIG, READ_VBATT and READ_PROG_VOLTAGE, FIVE_BAUD_INIT,
// FAST_INIT, and every other ioctl.
constexpr KeyRule kConfigIoctl[] = {{"input", kConfig | kNull, true}, {"output", kPointer, true}};
constexpr KeyRule kVoltageIoctl[] = {{"input", kPointer, true},
                                     {"output", kNumber | kPointer, false}};
constexpr KeyRule kFiveBaudIoctl[] = {{"input", kBytes | kNull, true},
                                      {"outputCapacity", kNumberOrNull, true},
                                      {"output", kBytes | kPointer, false}};
constexpr KeyRule kFastInitIoctl[] = {{"input", kRecord | kNull, true},
                                      {"outputCapacity", kNumberOrNull, true},
                                      {"output", kRecord | kPointer, false}};
// The ioctls the format does not know by id: their inputs and outputs as the caller declared them.
constexpr uint16_t kAnyIoctlValue = kPointer | kNumber | kBytes | kConfig | kRecord;
constexpr KeyRule kPlainIoctl[] = {{"input", kAnyIoctlValue, true},
                                   {"output", kAnyIoctlValue, true}};

// By entry point, in the order of passthru::Entry.
constexpr std::array<std::span<const KeyRule>, passthru::kEntryCount> kEntryRules = {
    kOpen,        kClose,         kConnect,      kDisconnect,     kReadMsgs,      kWriteMsgs,
    kQueueMsgs,   kStartPeriodic, kStopPeriodic, kStartFilter,    kStopFilter,    kSetVoltage,
    kReadVersion, kGetLastError,  kIoctl,        kScanForDevices, kGetNextDevice,
};

}  // namespace

std::optional<std::span<const KeyRule>> CallRules(std::string_view fn) {
  const std::optional<passthru::Entry> entry = passthru::EntryByName(fn);
  if (!entry) return std::nullopt;
  return kEntryRules[static_cast<size_t>(*entry)];
}

std::span<const KeyRule> IoctlRules(uint32_t ioctl_id) {
  switch (ioctl_id) {
    case passthru::kGetConfig:
    case passthru::kSetConfig:
      return kConfigIoctl;
    case passthru::kReadVbatt:
    case passthru::kReadProgVoltage:
      return kVoltageIoctl;
    case passthru::kFiveBaudInit:
      return kFiveBaudIoctl;
    case passthru::kFastInit:
      return kFastInitIoctl;
    default:
      return kPlainIoctl;
  }
}

}  // namespace tarnix::trace
