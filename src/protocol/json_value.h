// A JSON value as the decoder meets it, and how a value is described in decoding error texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnix::protocol::json {

/// A value as read: a scalar with its value, or only the kind of a container (whose content is
/// read where it is needed and never kept). Numbers keep the form the text gave them: non-negative
/// integers that fit in 64 bits are Unsigned, negative ones that fit are Signed, everything else is
/// Float.
struct Value {
  enum class Kind : uint8_t { Null, Bool, Unsigned, Signed, Float, String, Array, Object };

  Kind kind = Kind::Null;
  bool boolean = false;
  uint64_t unsigned_value = 0;
  int64_t signed_value = 0;
  double float_value = 0.0;
  /// String: the decoded text, which lives in the line or in the reader's buffer until the
  /// reader reads its next string.
  std::string_view text;

  // Defined here so that the reader's hot loop builds values in place.
  static Value Null() { return Value{}; }
  static Value Bool(bool b) { return With(Kind::Bool, &Value::boolean, b); }
  static Value Unsigned(uint64_t n) { return With(Kind::Unsigned, &Value::unsigned_value, n); }
  static Value Signed(int64_t n) { return With(Kind::Signed, &Value::signed_value, n); }
  static Value Float(double d) { return With(Kind::Float, &Value::float_value, d); }
  static Value String(std::string_view s) { return With(Kind::String, &Value::text, s); }
  static Value Container(Kind kind) { return With(kind, &Value::boolean, false); }

 private:
  template <typename T>
  static Value With(Kind kind, T Value::*member, T value) {
    Value v;
    v.kind = kind;
    v.*member = value;
    return v;
  }
};

/// What an error text calls a found value: "null", "boolean `true`", "integer `5`",
/// "floating point `1.5`", "string \"abc\"", "sequence" or "map".
std::string Describe(const Value& value);

/// "invalid type: " + the description + ", expected " + `expected`.
std::string InvalidType(const Value& value, std::string_view expected);

/// "invalid value: " + the description + ", expected " + `expected`.
std::string InvalidValue(const Value& value, std::string_view expected);

/// The text between quotation marks as error texts show it: \" \\ \n \r \t \0 for those
/// characters, \u{1b} for other control characters, everything else unchanged.
std::string QuoteForMessage(std::string_view text);

}  // namespace tarnix::protocol::json
