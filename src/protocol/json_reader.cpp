// Reads the JSON object of a request line with the tokeniser's event interface.
#include "protocol/json_reader.h"

#include <string>
#include <utility>

#include <rapidjson/reader.h>

namespace tarnix::protocol::json {
namespace {

// Numbers come as their text (so that integers, floats and out-of-range values are told apart by
// our own rules), and reading stops after the top-level value (trailing text is checked later,
// after the request itself has been decoded). In-place mode decodes strings into the stream's
// scratch area instead of the tokeniser's own stack, which is lighter and keeps clear of that
// stack's arithmetic on a null pointer before its first allocation.
constexpr unsigned kParseFlags = rapidjson::kParseStopWhenDoneFlag |
                                 rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseInsituFlag;

// A stream over the line with its byte offset. The end reads as NUL, as the tokeniser expects;
// an embedded NUL byte is told apart from the end by its offset. The line itself stays unchanged
// (error positions are worked out from it): decoded strings are written to a scratch area of the
// same length, at offsets never beyond the reading position.
class LineStream {
 public:
  using Ch = char;
  LineStream(std::string_view text, std::string& scratch) : text_(text), scratch_(scratch) {
    scratch_.assign(text.size() + 1, '\0');
  }
  Ch Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  Ch Take() { return pos_ < text_.size() ? text_[pos_++] : '\0'; }
  size_t Tell() const { return pos_; }
  Ch* PutBegin() {
    put_ = pos_;
    return scratch_.data() + put_;
  }
  void Put(Ch c) { scratch_[put_++] = c; }
  void Flush() {}
  size_t PutEnd(Ch* begin) { return static_cast<size_t>(scratch_.data() + put_ - begin); }

 private:
  std::string_view text_;
  std::string& scratch_;
  size_t pos_ = 0;
  size_t put_ = 0;
};

// A number the tokeniser refused although it is a valid double (it gives up on very long digit
// strings and large exponents); the line is re-read with the number blanked out and this value
// stands in for it.
struct NumberOverride {
  size_t start = 0;
  size_t end = 0;
  Value value;
};

// The slot that the next value of the request object fills.
enum class Slot : uint8_t { Id, Method, Params, Ignored };

class EnvelopeHandler {
 public:
  EnvelopeHandler(std::string_view text, const LineStream& stream,
                  const std::vector<NumberOverride>& overrides)
      : text_(text), stream_(stream), overrides_(overrides) {}

  bool Null() { return Scalar(Value::Null(), stream_.Tell()); }
  bool Bool(bool b) { return Scalar(Value::Bool(b), stream_.Tell()); }
  // Numbers arrive as text only (kParseNumbersAsStringsFlag).
  bool Int(int) { return false; }
  bool Uint(unsigned) { return false; }
  bool Int64(int64_t) { return false; }
  bool Uint64(uint64_t) { return false; }
  bool Double(double) { return false; }

  // In place, the tokeniser's pointer is not the number's text; the line has it.
  bool RawNumber(const char*, rapidjson::SizeType length, bool) {
    const size_t end = stream_.Tell();
    const size_t start = end - length;
    for (const NumberOverride& o : overrides_) {
      if (o.start == start) return Scalar(o.value, o.end);
    }
    const std::string_view token = text_.substr(start, length);
    // The tokeniser ends a number after a leading zero; a digit right after it is malformed.
    if ((token == "0" || token == "-0") && end < text_.size() && text_[end] >= '0' &&
        text_[end] <= '9') {
      return Fail("invalid number", end + 1);
    }
    std::optional<Value> value = NumberValue(token);
    if (!value) return Fail("number out of range", end);
    return Scalar(std::move(*value), end);
  }

  bool String(const char* str, rapidjson::SizeType length, bool) {
    const std::string_view decoded(str, length);
    if (!CheckSurrogates(decoded)) return false;
    return Scalar(Value::String(std::string(decoded)), stream_.Tell());
  }

  bool Key(const char* str, rapidjson::SizeType length, bool) {
    const std::string_view name(str, length);
    if (!CheckSurrogates(name)) return false;
    token_end_ = stream_.Tell();
    if (depth_ == 1) {
      if (name == "id") {
        if (envelope_.id) return Fail("duplicate field `id`", stream_.Tell());
        slot_ = Slot::Id;
      } else if (name == "method") {
        slot_ = Slot::Method;
      } else if (name == "params") {
        slot_ = Slot::Params;
      } else {
        slot_ = Slot::Ignored;
      }
    } else if (!open_.empty()) {
      open_.back()->keys.emplace_back(name);
    }
    return true;
  }

  bool StartObject() { return Start(Value::Kind::Object); }
  bool StartArray() { return Start(Value::Kind::Array); }
  bool EndObject(rapidjson::SizeType) { return End(); }
  bool EndArray(rapidjson::SizeType) { return End(); }

  const Failure& failure() const { return failure_; }
  size_t token_end() const { return token_end_; }
  Envelope TakeEnvelope() { return std::move(envelope_); }

 private:
  bool Fail(std::string message, size_t consumed) {
    failure_ = Failure{std::move(message), consumed};
    return false;
  }

  // A lone trailing surrogate escape passes the tokeniser; find it (and its exact position) with
  // our own scan of the string's text, which starts at the first quotation mark after the last
  // token.
  bool CheckSurrogates(std::string_view decoded) {
    if (!MayHoldLoneSurrogate(decoded)) return true;
    const size_t start = text_.find('"', token_end_);
    if (start == std::string_view::npos) return true;
    auto scanned = ScanString(text_, start);
    if (scanned) return true;
    failure_ = std::move(scanned).error();
    return false;
  }

  bool Scalar(Value value, size_t consumed) {
    token_end_ = stream_.Tell();
    if (depth_ == 0) return Fail(InvalidType(value, "struct Message"), consumed);
    if (!open_.empty()) {
      open_.back()->items.push_back(std::move(value));
      return true;
    }
    if (depth_ == 1) return Member(std::move(value), consumed);
    return true;
  }

  bool Member(Value value, size_t consumed) {
    switch (slot_) {
      case Slot::Id:
        if (value.kind == Value::Kind::Unsigned) {
          envelope_.id = value.unsigned_value;
          return true;
        }
        if (value.kind == Value::Kind::Signed) return Fail(InvalidValue(value, "u64"), consumed);
        return Fail(InvalidType(value, "u64"), consumed);
      case Slot::Method:
      case Slot::Params:
        envelope_.members.push_back({slot_ == Slot::Method, std::move(value)});
        return true;
      case Slot::Ignored:
        return true;
    }
    return true;
  }

  bool Start(Value::Kind kind) {
    token_end_ = stream_.Tell();
    // Reading of a value that must be a scalar or an object stops before its opening bracket.
    const size_t before = stream_.Tell() - 1;
    const Value container = Value::Container(kind);
    if (depth_ == 0 && kind == Value::Kind::Array) {
      return Fail(InvalidType(container, "struct Message"), before);
    }
    if (depth_ == 1 && slot_ == Slot::Id) return Fail(InvalidType(container, "u64"), before);
    if (depth_ >= kMaxNesting) return Fail("recursion limit exceeded", stream_.Tell());
    ++depth_;
    if (!open_.empty()) {
      open_.back()->items.push_back(container);
      open_.push_back(&open_.back()->items.back());
    } else if (depth_ == 2 && (slot_ == Slot::Method || slot_ == Slot::Params)) {
      envelope_.members.push_back({slot_ == Slot::Method, container});
      open_.push_back(&envelope_.members.back().value);
    }
    return true;
  }

  bool End() {
    token_end_ = stream_.Tell();
    if (!open_.empty()) open_.pop_back();
    if (--depth_ == 0) envelope_.closing_consumed = stream_.Tell();
    return true;
  }

  std::string_view text_;
  const LineStream& stream_;
  const std::vector<NumberOverride>& overrides_;
  int depth_ = 0;              // containers open
  Slot slot_ = Slot::Ignored;  // what the next value of the request object is
  std::vector<Value*> open_;   // kept containers being filled, innermost last
  size_t token_end_ = 0;       // offset just after the last complete token
  Envelope envelope_;
  Failure failure_;
};

std::optional<size_t> TrailingOffset(std::string_view text, size_t pos) {
  while (pos < text.size() &&
         (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r')) {
    ++pos;
  }
  if (pos < text.size()) return pos;
  return std::nullopt;
}

}  // namespace

Result<Envelope, Failure> ReadEnvelope(std::string_view line) {
  std::string patched;  // a copy of the line, made only when a number has to be blanked out
  std::string_view text = line;
  std::vector<NumberOverride> overrides;
  std::string scratch;
  for (;;) {
    LineStream stream(text, scratch);
    EnvelopeHandler handler(text, stream, overrides);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<kParseFlags>(stream, handler);
    if (!result.IsError()) {
      Envelope envelope = handler.TakeEnvelope();
      envelope.trailing = TrailingOffset(text, stream.Tell());
      return envelope;
    }
    if (result.Code() == rapidjson::kParseErrorTermination) return handler.failure();
    if (result.Code() != rapidjson::kParseErrorNumberTooBig) {
      return SyntaxFailure(text, result.Code(), result.Offset(), handler.token_end());
    }
    const size_t start = result.Offset();
    auto end = ScanNumber(text, start);
    if (!end) return std::move(end).error();
    std::optional<Value> value = NumberValue(text.substr(start, *end - start));
    if (!value) return Failure{"number out of range", *end};
    overrides.push_back({start, *end, std::move(*value)});
    if (patched.empty()) patched = std::string(line);
    patched[start] = '0';
    for (size_t i = start + 1; i < *end; ++i)
      patched[i] = ' ';
    text = patched;
  }
}

}  // namespace tarnix::protocol::json
