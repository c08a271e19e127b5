// Any ioctl the bridge does not serve through a method of its own: the input a client declared,
// an output buffer the bridge owns, and the refusal of the ioctls whose state the bridge keeps.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "common/result.h"
#include "j2534/connection.h"
#include "wire/records.h"
#include "wire/types.h"

namespace tarnix::j2534 {

/// What an ioctl wrote through its output pointer, as the request declared it: nothing, a
/// number, bytes, a parameter list or a record.
using IoctlOutcome = std::variant<std::monostate, uint32_t, wire::ByteList,
                                  std::vector<wire::ConfigEntry>, wire::Record>;

/// Bytes of the SBYTE_ARRAY an ioctl may write: a whole message's data.
inline constexpr uint32_t kIoctlByteCapacity = 4128;

/// The method that serves ioctl `ioctl_id` when the bridge keeps its state ("GetConfig"), or
/// null when the typed ioctl may call it.
const char* MethodServing(uint32_t ioctl_id);

/// PassThruIoctl of `request.ioctl_id` on `handle` (a channel's id or the device's) with the
/// request's one input, `default_protocol` for a record that names none, and the output buffer
/// its kind asks for (see wire::IoctlCall). Errors: "ERR_J2534_IOCTL_REFUSED: NAME goes through
/// Method" and "ERR_J2534_IOCTL_REFUSED: at most one input" (nothing called), an input record
/// too long, "ERR_J2534_IOCTL_FAILED: NAME error code N (NAME)" (NAME "ioctl N" for an ioctl
/// without one).
Result<IoctlOutcome, PassThruError> TypedIoctl(const Connection& connection, uint32_t handle,
                                               uint32_t default_protocol,
                                               const wire::IoctlCall& request);

}  // namespace tarnix::j2534
