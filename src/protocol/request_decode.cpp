// Decoding of a request line: the envelope, the method, and the order of the decoding errors.
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
    std::string text = "unknown variant `" + value.text + "`, expected one of ";
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

// Walks "method" and "params" in text order. Whichever comes first, the method is decoded when it
// is met and the params as soon as both are known; a repeated member is a duplicate once reached.
Result<Request, std::string> DecodeRequest(const std::vector<json::Envelope::Member>& members) {
  std::optional<size_t> method;
  const Value* kept_params = nullptr;
  std::optional<Request> request;
  for (const json::Envelope::Member& member : members) {
    if (member.is_method) {
      if (method) return Duplicate(true);
      auto decoded = DecodeMethod(member.value);
      if (!decoded) return std::move(decoded).error();
      method = *decoded;
      if (kept_params == nullptr) continue;
    } else {
      if (kept_params != nullptr) return Duplicate(false);
      kept_params = &member.value;
      if (!method) continue;
    }
    auto decoded = DecodeParams(*method, kept_params);
    if (!decoded) return std::move(decoded).error();
    request = std::move(decoded).value();
  }
  if (!method) return std::string("missing field `method`");
  if (request) return std::move(*request);
  return DecodeParams(*method, nullptr);
}

}  // namespace

Result<Message> DecodeMessage(std::string_view line) {
  auto envelope = json::ReadEnvelope(line);
  if (!envelope) {
    const json::Failure& failure = envelope.error();
    return Fail(failure.message + json::PositionSuffix(line, failure.consumed));
  }
  // Everything found after the whole object was read is reported at its closing brace.
  const std::string at_end = json::PositionSuffix(line, envelope->closing_consumed);
  if (!envelope->id) return Fail("missing field `id`" + at_end);
  auto request = DecodeRequest(envelope->members);
  if (!request) return Fail(request.error() + at_end);
  if (envelope->trailing) {
    return Fail("trailing characters" + json::PositionSuffix(line, *envelope->trailing + 1));
  }
  return Message{*envelope->id, std::move(request).value()};
}

}  // namespace tarnix::protocol
