// Token-level rules of the request decoder: number values, string checks and syntax error texts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <rapidjson/error/error.h>

#include "common/result.h"
#include "protocol/json_value.h"

namespace tarnix::protocol::json {

/// A decoding failure: its text (without position) and how many bytes of the line had been read
/// when it was found, which gives the reported column.
struct Failure {
  std::string message;
  size_t consumed = 0;
};

/// " at line L column C" for the position after `consumed` bytes of `text`.
std::string PositionSuffix(std::string_view text, size_t consumed);

/// The value of a number token whose grammar is already checked. Integers that fit in 64 bits
/// stay integers (except "-0", which is the float -0.0); all others become doubles, correctly
/// rounded; a value too large for a double gives nullopt, one too small becomes zero.
std::optional<Value> NumberValue(std::string_view token);

/// Checks the number token that starts at `start` and returns the offset just after it.
Result<size_t, Failure> ScanNumber(std::string_view text, size_t start);

/// Checks the string token whose opening quotation mark is at `start`, with the reader's rules
/// (escapes, control characters, surrogate pairs), and returns the offset just after it.
Result<size_t, Failure> ScanString(std::string_view text, size_t start);

/// True when decoded string bytes may hold an unpaired surrogate written as an escape (the
/// tokeniser lets a lone trailing surrogate through, encoded as bytes ED B0..BF).
bool MayHoldLoneSurrogate(std::string_view decoded);

/// The failure for the tokeniser's syntax error `code` at `offset`. `last_token_end` is the offset
/// just after the last complete token before the error, from where a failing string is searched.
Failure SyntaxFailure(std::string_view text, rapidjson::ParseErrorCode code, size_t offset,
                      size_t last_token_end);

}  // namespace tarnix::protocol::json
