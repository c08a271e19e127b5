// Token-level rules of the request decoder: numbers, strings, and the texts of syntax errors.
#include "protocol/json_syntax.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "common/text.h"

namespace tarnix::protocol::json {
namespace {

constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kLoneSurrogate = "lone leading surrogate in hex escape";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
// A string byte that stands for itself: not the closing quotation mark, not an escape, not a
// control character.
bool IsPlain(unsigned char c) {
  return c != '"' && c != '\\' && c >= 0x20;
}

DecodeError At(std::string_view message, size_t consumed) {
  return DecodeError{std::string(message), consumed};
}

// The last non-blank character before `offset`, or NUL at the start of the text.
char PreviousSignificant(std::string_view text, size_t offset) {
  while (offset > 0) {
    const char c = text[--offset];
    if (!IsBlank(c)) return c;
  }
  return '\0';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the four hex digits of a \u escape at `pos`. Fewer than four bytes left is the end of the
// text, whatever they are.
Result<unsigned, DecodeError> ReadHex4(std::string_view text, size_t pos) {
  if (text.size() - pos < 4) return At(kEofString, text.size());
  unsigned code = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return At("invalid escape", i + 1);
    code = code * 16 + static_cast<unsigned>(digit);
  }
  return code;
}

// Checks the \u escape whose 'u' is just before `pos`; returns the offset after it (and after the
// second half of a surrogate pair).
Result<size_t, DecodeError> CheckUnicodeEscape(std::string_view text, size_t pos) {
  auto first = ReadHex4(text, pos);
  if (!first) return first.error();
  pos += 4;
  if (*first >= 0xDC00 && *first <= 0xDFFF) return At(kLoneSurrogate, pos);
  if (*first < 0xD800 || *first > 0xDBFF) return pos;
  for (const char expected : {'\\', 'u'}) {
    if (pos >= text.size()) return At(kEofString, text.size());
    if (text[pos++] != expected) return At(kLoneSurrogate, pos);
  }
  auto second = ReadHex4(text, pos);
  if (!second) return second.error();
  pos += 4;
  if (*second < 0xDC00 || *second > 0xDFFF) return At(kLoneSurrogate, pos);
  return pos;
}

// The power of ten at which the leading significant digit of a number token stands (2 for
// "123", -1 for "0.5", 7 for "1.5e7"); nullopt when all its digits are zeros. Exponents are
// saturated far beyond any double.
std::optional<int64_t> LeadingPower(std::string_view token) {
  size_t i = token.empty() || token[0] != '-' ? 0 : 1;
  std::optional<int64_t> lead;
  int64_t integer_digits = 0;
  for (; i < token.size() && IsDigit(token[i]); ++i, ++integer_digits) {
    if (!lead && token[i] != '0') lead = -integer_digits;  // completed below
  }
  if (lead) *lead += integer_digits - 1;
  if (i < token.size() && token[i] == '.') {
    int64_t place = 0;
    for (++i; i < token.size() && IsDigit(token[i]); ++i) {
      --place;
      if (!lead && token[i] != '0') lead = place;
    }
  }
  if (!lead) return std::nullopt;
  int64_t exponent = 0;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    const bool negative = ++i < token.size() && token[i] == '-';
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) ++i;
    for (; i < token.size() && IsDigit(token[i]); ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (token[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return *lead + exponent;
}

unsigned Hex4Value(std::string_view text, size_t pos) {
  unsigned code = 0;
  for (size_t i = pos; i < pos + 4; ++i)
    code = code * 16 + static_cast<unsigned>(HexDigit(text[i]));
  return code;
}

char UnescapedChar(char e) {
  switch (e) {
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return e;  // '"', '\\' and '/' stand for themselves
  }
}

}  // namespace

std::string PositionSuffix(std::string_view text, size_t consumed) {
  if (consumed > text.size()) consumed = text.size();
  size_t line = 1;
  size_t line_start = 0;
  for (size_t i = 0; i < consumed; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return " at line " + std::to_string(line) + " column " + std::to_string(consumed - line_start);
}

std::optional<Value> NumberValue(std::string_view token) {
  const char* const first = token.data();
  const char* const last = first + token.size();
  // Short unsigned integers, nearly every number of a request: 19 digits always fit in 64 bits.
  if (token.size() <= 19 && token[0] != '-') {
    uint64_t n = 0;
    const char* digit = first;
    for (; digit != last && IsDigit(*digit); ++digit)
      n = n * 10 + static_cast<uint64_t>(*digit - '0');
    if (digit == last) return Value::Unsigned(n);
  }
  if (token.find_first_of(".eE") == std::string_view::npos) {
    if (token == "-0") return Value::Float(-0.0);
    if (token[0] == '-') {
      int64_t n = 0;
      if (std::from_chars(first, last, n).ec == std::errc()) return Value::Signed(n);
    } else {
      uint64_t n = 0;
      if (std::from_chars(first, last, n).ec == std::errc()) return Value::Unsigned(n);
    }
  }
  double d = 0.0;
  const auto [end, ec] = std::from_chars(first, last, d);
  if (ec == std::errc()) return Value::Float(d);
  const std::optional<int64_t> lead = LeadingPower(token);
  if (lead && *lead >= 0) return std::nullopt;
  return Value::Float(token[0] == '-' ? -0.0 : 0.0);
}

bool FitsDouble(std::string_view token) {
  // Below 10^308 every value fits, from 10^309 none does; only the decade between is worked out.
  const std::optional<int64_t> lead = LeadingPower(token);
  if (!lead || *lead < 308) return true;
  if (*lead > 308) return false;
  return NumberValue(token).has_value();
}

Result<size_t, DecodeError> ScanNumber(std::string_view text, size_t start) {
  size_t pos = start;
  if (pos < text.size() && text[pos] == '-') ++pos;
  if (pos >= text.size()) return At(kEofValue, text.size());
  if (text[pos] == '0') {
    ++pos;
    if (pos < text.size() && IsDigit(text[pos])) return At(kInvalidNumber, pos + 1);
  } else if (IsDigit(text[pos])) {
    while (pos < text.size() && IsDigit(text[pos]))
      ++pos;
  } else {
    return At(kInvalidNumber, pos + 1);
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    if (pos >= text.size() || !IsDigit(text[pos])) {
      return Unexpected(text, pos, kInvalidNumber, kEofValue);
    }
    while (pos < text.size() && IsDigit(text[pos]))
      ++pos;
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    if (pos >= text.size() || !IsDigit(text[pos])) {
      return Unexpected(text, pos, kInvalidNumber, kEofValue);
    }
    while (pos < text.size() && IsDigit(text[pos]))
      ++pos;
  }
  return pos;
}

Result<size_t, DecodeError> ScanString(std::string_view text, size_t start, bool& escaped) {
  size_t pos = start + 1;
  escaped = false;
  for (;;) {
    while (pos < text.size() && IsPlain(static_cast<unsigned char>(text[pos])))
      ++pos;
    if (pos >= text.size()) return At(kEofString, text.size());
    const auto c = static_cast<unsigned char>(text[pos++]);
    if (c == '"') return pos;
    if (c < 0x20) {
      return At("control character (\\u0000-\\u001F) found while parsing a string", pos);
    }
    escaped = true;
    if (pos >= text.size()) return At(kEofString, text.size());
    switch (text[pos++]) {
      case '"':
      case '\\':
      case '/':
      case 'b':
      case 'f':
      case 'n':
      case 'r':
      case 't':
        break;
      case 'u': {
        auto after = CheckUnicodeEscape(text, pos);
        if (!after) return after.error();
        pos = *after;
        break;
      }
      default:
        return At("invalid escape", pos);
    }
  }
}

void DecodeString(std::string_view raw, std::string& out) {
  out.clear();
  out.reserve(raw.size());  // an escape is never shorter than what it stands for
  size_t pos = 0;
  for (;;) {
    const size_t escape = raw.find('\\', pos);
    out.append(raw.substr(pos, escape - pos));
    if (escape == std::string_view::npos) return;
    const char e = raw[escape + 1];
    pos = escape + 2;
    if (e != 'u') {
      out += UnescapedChar(e);
      continue;
    }
    unsigned code = Hex4Value(raw, pos);
    pos += 4;
    if (code >= 0xD800 && code <= 0xDBFF) {  // checked to be followed by \u and its low half
      code = 0x10000 + ((code - 0xD800) << 10) + (Hex4Value(raw, pos + 2) - 0xDC00);
      pos += 6;
    }
    AppendUtf8(out, static_cast<char32_t>(code));
  }
}

DecodeError Unexpected(std::string_view text, size_t offset, std::string_view message,
                       std::string_view eof_message) {
  if (offset >= text.size()) return At(eof_message, text.size());
  return At(message, offset + 1);
}

DecodeError NotAValue(std::string_view text, size_t offset) {
  const char before = PreviousSignificant(text, offset);
  if (offset >= text.size()) return At(before == '[' ? kEofList : kEofValue, text.size());
  if (text[offset] == ']' && before == ',') return At("trailing comma", offset + 1);
  return At("expected value", offset + 1);
}

DecodeError NotAName(std::string_view text, size_t offset, bool first) {
  if (offset >= text.size()) return At(first ? kEofObject : kEofValue, text.size());
  if (text[offset] == '}' && !first) return At("trailing comma", offset + 1);
  return At("key must be a string", offset + 1);
}

}  // namespace tarnix::protocol::json
