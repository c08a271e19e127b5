// The trace reader: one line of a trace file or call log in, a typed line or a refusal out.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/result.h"
#include "trace/call.h"

namespace tarnix::trace {

/// The longest line the reader takes: twice the largest read of the bridge (256 records of 4128
/// bytes in hex).
inline constexpr size_t kMaxLineBytes = size_t{4} << 20;

/// Reads one line (without its line feed). Every member is checked against the key table of its
/// kind of line: unknown or repeated members, wrong types, numbers beyond 32 bits (64 for "t" and
/// "us"), bad hex and an unsupported trace version are refused, with the reason as the error text.
Result<Line> DecodeLine(std::string_view text);

}  // namespace tarnix::trace
