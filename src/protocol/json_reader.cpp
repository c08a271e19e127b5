// Reads a request line one JSON token at a time, with the error texts and positions of the
// decoder's syntax rules.
#include "protocol/json_reader.h"

#include <utility>

namespace tarnix::protocol::json {
void Reader::Fail(DecodeError failure) {
  if (failed_) return;
  failed_ = true;
  failure_ = std::move(failure);
}

void Reader::SkipBlanks() {
  while (pos_ < text_.size() && IsBlank(text_[pos_]))
    ++pos_;
}

Value Reader::Read() {
  if (failed_) return Value::Null();
  switch (Peek()) {
    case '[':
      Skip();
      return Value::Container(Value::Kind::Array);
    case '{':
      Skip();
      return Value::Container(Value::Kind::Object);
    case '"':
      return Value::String(ReadString(&text_buffer_));
    case 't':
      return Literal("true") ? Value::Bool(true) : Value::Null();
    case 'f':
      return Literal("false") ? Value::Bool(false) : Value::Null();
    case 'n':
      Literal("null");
      return Value::Null();
    default:
      return Number(true);
  }
}

void Reader::Skip() {
  if (failed_) return;
  switch (Peek()) {
    case '[':
      if (!Enter()) return;
      while (NextElement())
        Skip();
      return;
    case '{':
      if (!Enter()) return;
      while (NextMember(nullptr) && Colon())
        Skip();
      return;
    case '"':
      ReadString(nullptr);
      return;
    case 't':
      Literal("true");
      return;
    case 'f':
      Literal("false");
      return;
    case 'n':
      Literal("null");
      return;
    default:
      Number(false);
      return;
  }
}

bool Reader::Enter() {
  if (failed_) return false;
  ++pos_;
  if (depth_ >= kMaxNesting) {
    Fail(DecodeError{"recursion limit exceeded", pos_});
    return false;
  }
  ++depth_;
  first_ = true;
  SkipBlanks();
  return true;
}

bool Reader::NextElement() {
  if (failed_) return false;
  SkipBlanks();
  const bool first = std::exchange(first_, false);
  if (Peek() == ']') {
    ++pos_;
    --depth_;
    return false;
  }
  if (first) return true;
  if (Peek() != ',') {
    Fail(Unexpected(text_, pos_, "expected `,` or `]`", kEofList));
    return false;
  }
  ++pos_;
  SkipBlanks();
  return true;
}

bool Reader::NextMember(std::string_view* name) {
  if (failed_) return false;
  SkipBlanks();
  const bool first = std::exchange(first_, false);
  if (Peek() == '}') {
    ++pos_;
    --depth_;
    return false;
  }
  if (!first) {
    if (Peek() != ',') {
      Fail(Unexpected(text_, pos_, "expected `,` or `}`", kEofObject));
      return false;
    }
    ++pos_;
    SkipBlanks();
  }
  if (Peek() != '"') {
    Fail(NotAName(text_, pos_, first));
    return false;
  }
  const std::string_view read = ReadString(name != nullptr ? &name_buffer_ : nullptr);
  if (name != nullptr) *name = read;
  return !failed_;
}

bool Reader::Colon() {
  if (failed_) return false;
  SkipBlanks();
  if (Peek() != ':') {
    Fail(Unexpected(text_, pos_, "expected `:`", kEofObject));
    return false;
  }
  ++pos_;
  SkipBlanks();
  return true;
}

// The text of the string at the cursor: its bytes in the line when it holds no escape, else its
// decoded form in `decoded` (when given).
std::string_view Reader::ReadString(std::string* decoded) {
  bool escaped = false;
  auto end = ScanString(text_, pos_, escaped);
  if (!end) {
    Fail(std::move(end).error());
    return {};
  }
  const std::string_view raw = text_.substr(pos_ + 1, *end - pos_ - 2);
  pos_ = *end;
  if (!escaped || decoded == nullptr) return raw;
  DecodeString(raw, *decoded);
  return *decoded;
}

// The literal `word`, whose first letter is at the cursor.
bool Reader::Literal(std::string_view word) {
  for (size_t i = 1; i < word.size(); ++i) {
    if (pos_ + i >= text_.size()) {
      Fail(DecodeError{std::string(kEofValue), text_.size()});
      return false;
    }
    if (text_[pos_ + i] != word[i]) {
      Fail(DecodeError{"expected ident", pos_ + i + 1});
      return false;
    }
  }
  pos_ += word.size();
  return true;
}

// The number at the cursor, with its value when `keep` (else only its range is checked); any
// other byte here cannot start a value.
Value Reader::Number(bool keep) {
  const char c = Peek();
  if (c != '-' && (c < '0' || c > '9')) {
    Fail(NotAValue(text_, pos_));
    return Value::Null();
  }
  auto end = ScanNumber(text_, pos_);
  if (!end) {
    Fail(std::move(end).error());
    return Value::Null();
  }
  const std::string_view token = text_.substr(pos_, *end - pos_);
  pos_ = *end;
  if (keep) {
    if (std::optional<Value> value = NumberValue(token)) return *value;
  } else if (FitsDouble(token)) {
    return Value::Null();
  }
  Fail(DecodeError{"number out of range", pos_});
  return Value::Null();
}

}  // namespace tarnix::protocol::json
