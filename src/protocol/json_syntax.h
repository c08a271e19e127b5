// Token-level rules of the request decoder: numbers, strings, and the texts of syntax errors.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "protocol/json_value.h"

namespace tarnix::protocol::json {

/// A decoding failure: its text (without position) and how many bytes of the line had been read
/// when it was found, which gives the reported column.
struct DecodeError {
  std::string message;
  size_t consumed = 0;
};

/// JSON's blanks between tokens: space, tab, line feed, carriage return.
inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// " at line L column C" for the position after `consumed` bytes of `text`.
std::string PositionSuffix(std::string_view text, size_t consumed);

/// The value of a number token whose grammar is already checked. Integers that fit in 64 bits
/// stay integers (except "-0", which is the float -0.0); all others become doubles, correctly
/// rounded; a value too large for a double gives nullopt, one too small becomes zero.
std::optional<Value> NumberValue(std::string_view token);

/// Whether NumberValue(token) has a value, mostly without working the value out.
bool FitsDouble(std::string_view token);

/// Checks the number token that starts at `start` and returns the offset just after it.
Result<size_t, DecodeError> ScanNumber(std::string_view text, size_t start);

/// Checks the string token whose opening quotation mark is at `start` (escapes, control
/// characters, surrogate pairs) and returns the offset just after it. `escaped` tells whether the
/// text holds any escape, i.e. whether its bytes differ from the decoded string.
Result<size_t, DecodeError> ScanString(std::string_view text, size_t start, bool& escaped);

/// The decoded string of `raw`, the bytes between the quotation marks of a checked string token.
void DecodeString(std::string_view raw, std::string& out);

/// The failure for an unexpected byte at `offset`, or for the end of the text there.
DecodeError Unexpected(std::string_view text, size_t offset, std::string_view message,
                       std::string_view eof_message);

/// The failure for a byte at `offset` that cannot start a value (or the end of the text there).
DecodeError NotAValue(std::string_view text, size_t offset);

/// The failure for a byte at `offset` where an object needs a member name; `first` when no member
/// has been read yet.
DecodeError NotAName(std::string_view text, size_t offset, bool first);

/// The words for an unexpected end while reading each kind of token.
inline constexpr std::string_view kEofValue = "EOF while parsing a value";
inline constexpr std::string_view kEofObject = "EOF while parsing an object";
inline constexpr std::string_view kEofList = "EOF while parsing a list";

}  // namespace tarnix::protocol::json
