// Token-level rules of the request decoder: number values, string checks and syntax error texts.
#include "protocol/json_syntax.h"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace tarnix::protocol::json {
namespace {

constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kLoneSurrogate = "lone leading surrogate in hex escape";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

Failure At(std::string_view message, size_t consumed) {
  return Failure{std::string(message), consumed};
}

// The failure for an unexpected character at `offset`, or for the end of the text there.
Failure AtChar(std::string_view text, size_t offset, std::string_view message,
               std::string_view eof_message) {
  if (offset >= text.size()) return At(eof_message, text.size());
  return At(message, offset + 1);
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
Result<unsigned, Failure> ReadHex4(std::string_view text, size_t pos) {
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
Result<size_t, Failure> CheckUnicodeEscape(std::string_view text, size_t pos) {
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

// Whether a number token that did not fit a double was too large (rather than too small): its
// leading significant digit stands at a non-negative power of ten.
bool IsTooLarge(std::string_view token) {
  size_t i = token.empty() || token[0] != '-' ? 0 : 1;
  int64_t lead = 0;
  bool found = false;
  size_t integer_digits = 0;
  for (; i < token.size() && IsDigit(token[i]); ++i, ++integer_digits) {
    if (!found && token[i] != '0') {
      found = true;
      lead = -static_cast<int64_t>(integer_digits);  // completed below
    }
  }
  if (found) lead += static_cast<int64_t>(integer_digits) - 1;
  if (i < token.size() && token[i] == '.') {
    int64_t place = 0;
    for (++i; i < token.size() && IsDigit(token[i]); ++i) {
      --place;
      if (!found && token[i] != '0') {
        found = true;
        lead = place;
      }
    }
  }
  if (!found) return false;
  int64_t exponent = 0;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    const bool negative = ++i < token.size() && token[i] == '-';
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) ++i;
    for (; i < token.size() && IsDigit(token[i]); ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (token[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return lead + exponent >= 0;
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
  if (IsTooLarge(token)) return std::nullopt;
  return Value::Float(token[0] == '-' ? -0.0 : 0.0);
}

Result<size_t, Failure> ScanNumber(std::string_view text, size_t start) {
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
      return AtChar(text, pos, kInvalidNumber, kEofValue);
    }
    while (pos < text.size() && IsDigit(text[pos]))
      ++pos;
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    if (pos >= text.size() || !IsDigit(text[pos])) {
      return AtChar(text, pos, kInvalidNumber, kEofValue);
    }
    while (pos < text.size() && IsDigit(text[pos]))
      ++pos;
  }
  return pos;
}

Result<size_t, Failure> ScanString(std::string_view text, size_t start) {
  size_t pos = start + 1;
  for (;;) {
    if (pos >= text.size()) return At(kEofString, text.size());
    const auto c = static_cast<unsigned char>(text[pos++]);
    if (c == '"') return pos;
    if (c < 0x20) {
      return At("control character (\\u0000-\\u001F) found while parsing a string", pos);
    }
    if (c != '\\') continue;
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

bool MayHoldLoneSurrogate(std::string_view decoded) {
  for (size_t i = 0; i + 1 < decoded.size(); ++i) {
    if (static_cast<unsigned char>(decoded[i]) == 0xED &&
        static_cast<unsigned char>(decoded[i + 1]) >= 0xA0) {
      return true;
    }
  }
  return false;
}

Failure SyntaxFailure(std::string_view text, rapidjson::ParseErrorCode code, size_t offset,
                      size_t last_token_end) {
  using namespace rapidjson;
  const char before = PreviousSignificant(text, offset);
  switch (code) {
    case kParseErrorDocumentEmpty:
      return AtChar(text, offset, "expected value", kEofValue);
    case kParseErrorValueInvalid: {
      if (offset >= text.size()) return At(before == '[' ? kEofList : kEofValue, text.size());
      const char previous = offset > 0 ? text[offset - 1] : '\0';
      if (previous == '-') return At(kInvalidNumber, offset + 1);
      if (previous >= 'a' && previous <= 'z') return At("expected ident", offset + 1);
      if (text[offset] == ']' && before == ',') return At("trailing comma", offset + 1);
      return At("expected value", offset + 1);
    }
    case kParseErrorObjectMissName:
      if (offset >= text.size()) return At(before == '{' ? kEofObject : kEofValue, text.size());
      if (text[offset] == '}' && before == ',') return At("trailing comma", offset + 1);
      return At("key must be a string", offset + 1);
    case kParseErrorObjectMissColon:
      return AtChar(text, offset, "expected `:`", kEofObject);
    case kParseErrorObjectMissCommaOrCurlyBracket:
      return AtChar(text, offset, "expected `,` or `}`", kEofObject);
    case kParseErrorArrayMissCommaOrSquareBracket:
      return AtChar(text, offset, "expected `,` or `]`", kEofList);
    case kParseErrorNumberMissFraction:
    case kParseErrorNumberMissExponent:
      return AtChar(text, offset, kInvalidNumber, kEofValue);
    case kParseErrorStringUnicodeEscapeInvalidHex:
    case kParseErrorStringUnicodeSurrogateInvalid:
    case kParseErrorStringEscapeInvalid:
    case kParseErrorStringMissQuotationMark:
    case kParseErrorStringInvalidEncoding: {
      const size_t start = text.find('"', last_token_end);
      if (start < offset) {
        auto scanned = ScanString(text, start);
        if (!scanned) return std::move(scanned).error();
      }
      return AtChar(text, offset, "invalid escape", kEofString);
    }
    case kParseErrorNumberTooBig:
      return At("number out of range", offset + 1);
    default:
      return AtChar(text, offset, "expected value", kEofValue);
  }
}

}  // namespace tarnix::protocol::json
