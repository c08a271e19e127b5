// Which members each kind of call line has and what values they take: the reader's key table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tarnix::trace {

/// The value kinds a member may take, as a bit set.
enum ValueKind : uint16_t {
  kNumber = 1 << 0,    ///< a 32-bit unsigned number
  kText = 1 << 1,      ///< a string
  kNull = 1 << 2,      ///< null: a null pointer
  kNonNull = 1 << 3,   ///< "non-null": a pointer the line does not decode
  kRecord = 1 << 4,    ///< a message record object
  kRecords = 1 << 5,   ///< an array of message records
  kConfig = 1 << 6,    ///< an SCONFIG list
  kBytes = 1 << 7,     ///< an SBYTE_ARRAY object
  kResource = 1 << 8,  ///< the 05.00 RESOURCE_STRUCT object
  kPointer = kNull | kNonNull,
};

/// One member of a call line: its key, the kinds of value it takes, and whether every line of
/// that call has it (outputs and form-dependent arguments are optional).
struct KeyRule {
  std::string_view key;
  uint16_t kinds;
  bool required;
};

/// The members of the lines of entry point `fn`; nullopt when `fn` is no entry point. For
/// PassThruIoctl these are the members every ioctl has; IoctlRules adds the rest.
std::optional<std::span<const KeyRule>> CallRules(std::string_view fn);

/// The members of a PassThruIoctl line beyond handle, ioctlId and ioctl, by ioctl id.
std::span<const KeyRule> IoctlRules(uint32_t ioctl_id);

}  // namespace tarnix::trace
