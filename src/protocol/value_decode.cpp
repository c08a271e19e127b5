// Decoding of parameter values with the decoder's error texts.
#include "protocol/value_decode.h"

#include <limits>

namespace tarnix::protocol {

using json::Value;

namespace {

// Unsigned integers up to `max`, described as `name` in error texts.
Status ReadUnsigned(const Value& value, uint64_t max, std::string_view name, uint64_t& out) {
  if (value.kind == Value::Kind::Unsigned) {
    if (value.unsigned_value > max) return json::InvalidValue(value, name);
    out = value.unsigned_value;
    return {};
  }
  if (value.kind == Value::Kind::Signed) return json::InvalidValue(value, name);
  return json::InvalidType(value, name);
}

constexpr Field<BatchMessage> kBatchFields[] = {
    {"arbId", Presence::Required,
     [](const Value& v, BatchMessage& m) { return ReadU32(v, m.arb_id); }},
    {"data", Presence::Required,
     [](const Value& v, BatchMessage& m) { return ReadBytes(v, m.data); }},
    {"extended", Presence::Required,
     [](const Value& v, BatchMessage& m) { return ReadBool(v, m.extended); }},
};

// The array form [arbId, data, extended]: elements decoded in order; a short array fails where it
// ends, a long one after the three values (the extra elements are only counted).
Status ReadBatchArray(const Value& value, BatchMessage& out) {
  const size_t count = value.items.size();
  for (size_t i = 0; i < 3; ++i) {
    if (i == count) {
      return "invalid length " + std::to_string(count) +
             ", expected struct BatchMessage with 3 elements";
    }
    Status status = kBatchFields[i].read(value.items[i], out);
    if (!status) return status;
  }
  if (count > 3) {
    return "invalid length " + std::to_string(count) + ", expected 3 elements in sequence";
  }
  return {};
}

Status ReadBatchMessage(const Value& value, BatchMessage& out) {
  if (value.kind == Value::Kind::Object) return ReadFields(value, kBatchFields, out);
  if (value.kind == Value::Kind::Array) return ReadBatchArray(value, out);
  return json::InvalidType(value, "struct BatchMessage");
}

}  // namespace

Status ReadU32(const Value& value, uint32_t& out) {
  uint64_t n = 0;
  Status status = ReadUnsigned(value, std::numeric_limits<uint32_t>::max(), "u32", n);
  if (status) out = static_cast<uint32_t>(n);
  return status;
}

Status ReadBool(const Value& value, bool& out) {
  if (value.kind != Value::Kind::Bool) return json::InvalidType(value, "a boolean");
  out = value.boolean;
  return {};
}

Status ReadText(const Value& value, std::string& out) {
  if (value.kind != Value::Kind::String) return json::InvalidType(value, "a string");
  out = value.text;
  return {};
}

Status ReadBytes(const Value& value, Bytes& out) {
  if (value.kind != Value::Kind::Array) return json::InvalidType(value, "a sequence");
  out.clear();
  out.reserve(value.items.size());
  for (const Value& item : value.items) {
    uint64_t n = 0;
    Status status = ReadUnsigned(item, std::numeric_limits<uint8_t>::max(), "u8", n);
    if (!status) return status;
    out.push_back(static_cast<uint8_t>(n));
  }
  return {};
}

Status ReadBatchMessages(const Value& value, std::vector<BatchMessage>& out) {
  if (value.kind != Value::Kind::Array) return json::InvalidType(value, "a sequence");
  out.clear();
  out.reserve(value.items.size());
  for (const Value& item : value.items) {
    BatchMessage message;
    Status status = ReadBatchMessage(item, message);
    if (!status) return status;
    out.push_back(std::move(message));
  }
  return {};
}

Status ReadInitMode(const Value& value, KlineInitMode& out) {
  static constexpr std::string_view kNames[] = {"fast", "slow", "auto"};
  static constexpr KlineInitMode kModes[] = {KlineInitMode::Fast, KlineInitMode::Slow,
                                             KlineInitMode::Auto};
  if (value.kind == Value::Kind::String) {
    for (size_t i = 0; i < 3; ++i) {
      if (value.text == kNames[i]) {
        out = kModes[i];
        return {};
      }
    }
    return "unknown variant `" + value.text + "`, expected one of `fast`, `slow`, `auto`";
  }
  if (value.kind == Value::Kind::Unsigned) {
    if (value.unsigned_value >= 3) return json::InvalidValue(value, "variant index 0 <= i < 3");
    out = kModes[value.unsigned_value];
    return {};
  }
  return json::InvalidType(value, "variant identifier");
}

}  // namespace tarnix::protocol
