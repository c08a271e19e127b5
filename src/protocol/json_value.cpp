// The descriptions that decoding error texts use.
#include "protocol/json_value.h"

#include "common/json_writer.h"

namespace tarnix::protocol::json {

std::string Describe(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Null:
      return "null";
    case Value::Kind::Bool:
      return value.boolean ? "boolean `true`" : "boolean `false`";
    case Value::Kind::Unsigned:
      return "integer `" + std::to_string(value.unsigned_value) + "`";
    case Value::Kind::Signed:
      return "integer `" + std::to_string(value.signed_value) + "`";
    case Value::Kind::Float:
      return "floating point `" + FormatDouble(value.float_value) + "`";
    case Value::Kind::String:
      return "string " + QuoteForMessage(value.text);
    case Value::Kind::Array:
      return "sequence";
    case Value::Kind::Object:
      return "map";
  }
  return "map";
}

std::string InvalidType(const Value& value, std::string_view expected) {
  std::string text = "invalid type: " + Describe(value) + ", expected ";
  text += expected;
  return text;
}

std::string InvalidValue(const Value& value, std::string_view expected) {
  std::string text = "invalid value: " + Describe(value) + ", expected ";
  text += expected;
  return text;
}

namespace {

void AppendBraceEscape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u{";
  if (code >= 0x10) out += kHex[code >> 4];
  out += kHex[code & 0xF];
  out += '}';
}

}  // namespace

std::string QuoteForMessage(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\0':
        out += "\\0";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      AppendBraceEscape(out, c);
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080..U+009F, the second block of control characters, encoded in two bytes.
      AppendBraceEscape(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

}  // namespace tarnix::protocol::json
