// The JSON writer: escaped strings, the shortest round-trip form of doubles, compact containers.
#include "common/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "common/text.h"

namespace tarnix {

void AppendJsonString(std::string& out, std::string_view text, InvalidUtf8 invalid) {
  if (invalid == InvalidUtf8::kReplace && !IsValidUtf8(text)) {
    AppendJsonString(out, Utf8Lossy(text));
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  // Runs of characters that need no escape are appended whole.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text, run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(escape, sizeof escape);
      }
    }
  }
  out.append(text, run);
  out += '"';
}

std::string FormatDouble(double value) {
  if (!std::isfinite(value)) return "null";
  if (value == 0.0) return std::signbit(value) ? "-0.0" : "0.0";
  // The shortest round-trip digits in scientific form, "d.ddde±XX", laid out again below.
  char buffer[64];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view scientific(buffer, static_cast<size_t>(written.ptr - buffer));
  const size_t e = scientific.find('e');
  std::string_view mantissa = scientific.substr(0, e);
  const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

  std::string out;
  if (mantissa.front() == '-') {
    out += '-';
    mantissa.remove_prefix(1);
  }
  std::string digits;
  for (const char c : mantissa) {
    if (c != '.') digits += c;
  }
  const int count = static_cast<int>(digits.size());
  if (exponent < -5 || exponent > 15) {
    out += digits[0];
    if (count > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += std::to_string(exponent);
  } else if (exponent >= count - 1) {
    out += digits;
    out.append(static_cast<size_t>(exponent - (count - 1)), '0');
    out += ".0";
  } else if (exponent >= 0) {
    out.append(digits, 0, static_cast<size_t>(exponent) + 1);
    out += '.';
    out.append(digits, static_cast<size_t>(exponent) + 1);
  } else {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  }
  return out;
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_element_.empty()) {
    if (has_element_.back()) out_ += ',';
    has_element_.back() = true;
  }
}

void JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  has_element_.push_back(false);
}

void JsonWriter::EndObject() {
  out_ += '}';
  has_element_.pop_back();
}

void JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  has_element_.push_back(false);
}

void JsonWriter::EndArray() {
  out_ += ']';
  has_element_.pop_back();
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  AppendJsonString(out_, name, invalid_);
  out_ += ':';
  after_key_ = true;
}

void JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void JsonWriter::Signed(int64_t value) {
  BeforeValue();
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void JsonWriter::Double(double value) {
  BeforeValue();
  out_ += FormatDouble(value);
}

void JsonWriter::String(std::string_view value) {
  BeforeValue();
  AppendJsonString(out_, value, invalid_);
}

void JsonWriter::Bytes(const std::vector<uint8_t>& bytes) {
  BeginArray();
  for (const uint8_t b : bytes)
    Unsigned(b);
  EndArray();
}

}  // namespace tarnix
