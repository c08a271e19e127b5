// The entry points a PassThru library exports, by number and by name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnix::passthru {

/// The entry points of both forms, numbered in the order of kEntryNames.
enum class Entry : uint8_t {
  kOpen,
  kClose,
  kConnect,
  kDisconnect,
  kReadMsgs,
  kWriteMsgs,
  kQueueMsgs,
  kStartPeriodicMsg,
  kStopPeriodicMsg,
  kStartMsgFilter,
  kStopMsgFilter,
  kSetProgrammingVoltage,
  kReadVersion,
  kGetLastError,
  kIoctl,
  kScanForDevices,
  kGetNextDevice,
};

inline constexpr size_t kEntryCount = 17;

/// The exported names, by Entry number.
inline constexpr std::array<const char*, kEntryCount> kEntryNames = {
    "PassThruOpen",
    "PassThruClose",
    "PassThruConnect",
    "PassThruDisconnect",
    "PassThruReadMsgs",
    "PassThruWriteMsgs",
    "PassThruQueueMsgs",
    "PassThruStartPeriodicMsg",
    "PassThruStopPeriodicMsg",
    "PassThruStartMsgFilter",
    "PassThruStopMsgFilter",
    "PassThruSetProgrammingVoltage",
    "PassThruReadVersion",
    "PassThruGetLastError",
    "PassThruIoctl",
    "PassThruScanForDevices",
    "PassThruGetNextDevice",
};

/// The exported name of `entry` (static text).
constexpr const char* EntryName(Entry entry) {
  return kEntryNames[static_cast<size_t>(entry)];
}

/// The entry point exported as `name`, or nullopt.
constexpr std::optional<Entry> EntryByName(std::string_view name) {
  for (size_t i = 0; i < kEntryCount; ++i) {
    if (kEntryNames[i] == name) return static_cast<Entry>(i);
  }
  return std::nullopt;
}

/// The entry point that only libraries of the 05.00 form export.
inline constexpr Entry kApi0500Marker = Entry::kScanForDevices;

}  // namespace tarnix::passthru
