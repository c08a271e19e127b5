// Decoding of a request line in one pass: the envelope, the method, the parameters straight into
// their request, and the order in which decoding errors win.
#include <optional>
#include <string>
#include <utility>

#include "protocol/json_reader.h"
#include "protocol/params_decode.h"
#include "protocol/request.h"

namespace tarnix::protocol {
namespace {

using json::Value;

// The method number named by the value of "method": a name, or a number below kMethodCount.
Result<size_t, std::string> DecodeMethod(const Value& value) {
  if (value.kind == Value::Kind::String) {
    for (size_t i = 0; i < kMethodNames.size(); ++i) {
      if (value.text == kMethodNames[i]) return i;
    }
    std::string text = "unknown variant `" + std::string(value.text) + "`, expected one of ";
    for (size_t i = 0; i < kMethodNames.size(); ++i) {
      if (i > 0) text += ", ";
      text += '`';
      text += kMethodNames[i];
      text += '`';
    }
    return text;
  }
  if (value.kind == Value::Kind::Unsigned) {
    if (value.unsigned_value < kMethodCount) return static_cast<size_t>(value.unsigned_value);
    return json::InvalidValue(value, "variant index 0 <= i < " + std::to_string(kMethodCount));
  }
  return json::InvalidType(value, "variant identifier");
}

std::string Duplicate(bool is_method) {
  return is_method ? "duplicate field `method`" : "duplicate field `params`";
}

// Reads the request object. The id is checked as it is read: its errors stop the reading like
// syntax errors do. "method" and "params" are decoded in text order, the method when it is met and
// the params as soon as both are known (params met before the method are only checked then, and
// decoded from where they stand once the method is known); a repeated member is a duplicate once
// reached. Their first error waits until the whole object is known to be well-formed.
class RequestReader {
 public:
  explicit RequestReader(json::Reader& reader) : reader_(reader) {}

  // Reads the top-level value, which must be the request object.
  void ReadTopLevel() {
    reader_.SkipBlanks();
    if (reader_.Peek() == '[') {
      FailHere(json::InvalidType(Value::Container(Value::Kind::Array), "struct Message"));
      return;
    }
    if (reader_.Peek() != '{') {
      const Value value = reader_.Read();
      if (!reader_.failed()) FailHere(json::InvalidType(value, "struct Message"));
      return;
    }
    reader_.Enter();
    std::string_view name;
    while (reader_.NextName(name)) {
      if (name == "id") {
        if (id_) FailHere("duplicate field `id`");
        if (reader_.Colon()) ReadId();
      } else if (name == "method") {
        if (reader_.Colon()) ReadMethod();
      } else if (name == "params") {
        if (reader_.Colon()) ReadParams();
      } else if (reader_.Colon()) {
        reader_.Skip();
      }
    }
  }

  const std::optional<uint64_t>& id() const { return id_; }

  // The request, or the first error of "method" and "params".
  Result<Request, std::string> TakeRequest() {
    if (error_) return std::move(*error_);
    if (!method_) return std::string("missing field `method`");
    if (request_) return std::move(*request_);
    return DecodeParams(*method_, nullptr);
  }

 private:
  void FailHere(std::string message) {
    reader_.Fail(json::DecodeError{std::move(message), reader_.pos()});
  }

  void ReadId() {
    const char first = reader_.Peek();
    if (first == '[' || first == '{') {
      const auto kind = first == '[' ? Value::Kind::Array : Value::Kind::Object;
      FailHere(json::InvalidType(Value::Container(kind), "u64"));
      return;
    }
    const Value value = reader_.Read();
    if (reader_.failed()) return;
    if (value.kind == Value::Kind::Unsigned) {
      id_ = value.unsigned_value;
    } else if (value.kind == Value::Kind::Signed) {
      FailHere(json::InvalidValue(value, "u64"));
    } else {
      FailHere(json::InvalidType(value, "u64"));
    }
  }

  void ReadMethod() {
    if (error_ || method_) {
      if (!error_) error_ = Duplicate(true);
      reader_.Skip();
      return;
    }
    auto method = DecodeMethod(reader_.Read());
    if (!method) {
      error_ = std::move(method).error();
      return;
    }
    method_ = *method;
    if (!params_at_) return;
    json::Reader earlier(reader_.text(), *params_at_, 1);
    Source params{earlier};
    Keep(DecodeParams(*method_, &params));
    if (earlier.failed()) reader_.Fail(earlier.failure());  // already checked: never expected
  }

  void ReadParams() {
    if (error_ || params_seen_) {
      if (!error_) error_ = Duplicate(false);
      reader_.Skip();
      return;
    }
    params_seen_ = true;
    if (!method_) {
      params_at_ = reader_.pos();
      reader_.Skip();
      return;
    }
    Source params{reader_};
    Keep(DecodeParams(*method_, &params));
  }

  void Keep(Result<Request, std::string> decoded) {
    if (decoded) {
      request_ = std::move(decoded).value();
    } else {
      error_ = std::move(decoded).error();
    }
  }

  json::Reader& reader_;
  std::optional<uint64_t> id_;
  std::optional<size_t> method_;
  bool params_seen_ = false;
  std::optional<size_t> params_at_;  // where "params" stand when they came before "method"
  std::optional<Request> request_;
  std::optional<std::string> error_;
};

}  // namespace

Result<Message> DecodeMessage(std::string_view line) {
  json::Reader reader(line);
  RequestReader request_reader(reader);
  request_reader.ReadTopLevel();
  if (reader.failed()) {
    const json::DecodeError& failure = reader.failure();
    return Fail(failure.message + json::PositionSuffix(line, failure.consumed));
  }
  // Everything found after the whole object was read is reported at its closing brace.
  // Worked out only for a failure: it scans the line up to the brace.
  const auto at_end = [&] { return json::PositionSuffix(line, reader.pos()); };
  if (!request_reader.id()) return Fail("missing field `id`" + at_end());
  auto request = request_reader.TakeRequest();
  if (!request) return Fail(request.error() + at_end());
  reader.SkipBlanks();
  if (reader.pos() < line.size()) {
    return Fail("trailing characters" + json::PositionSuffix(line, reader.pos() + 1));
  }
  return Message{*request_reader.id(), std::move(request).value()};
}

}  // namespace tarnix::protocol
