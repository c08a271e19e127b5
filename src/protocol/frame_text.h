// The text of one received frame, written straight into a buffer: the hot path of ReadMessages.
#pragma once

#include <cstddef>

#include "wire/types.h"

namespace tarnix::protocol {

/// The most characters WriteFrame can write for a frame of `data_bytes` payload bytes: the fixed
/// member names, five numbers at their widest, and "255," per byte.
constexpr size_t FrameTextBound(size_t data_bytes) {
  return 192 + 4 * data_bytes;
}

/// Writes `frame` at `out`, which has room for FrameTextBound(frame.data.size()) characters, byte
/// for byte as the general JSON writer encodes it; answers the end of what was written.
char* WriteFrame(char* out, const wire::ReceivedMessage& frame);

}  // namespace tarnix::protocol
