// Decoding of parameter values straight from the line's reader, with the decoder's error texts.
#include "protocol/value_decode.h"

#include <algorithm>
#include <limits>

namespace tarnix::protocol {

using json::Value;

namespace {

// Unsigned integers up to `max`, described as `name` in error texts.
ReadResult ReadUnsigned(const Value& value, uint64_t max, std::string_view name, uint64_t& out) {
  if (value.kind == Value::Kind::Unsigned) {
    if (value.unsigned_value > max) return json::InvalidValue(value, name);
    out = value.unsigned_value;
    return {};
  }
  if (value.kind == Value::Kind::Signed) return json::InvalidValue(value, name);
  return json::InvalidType(value, name);
}

// The shortest frame is "[0,[],true]".
constexpr size_t kShortestFrame = 11;

// Frames reserved before a batch is read: a batch that fits is allocated once, a larger one grows
// as it is read; never more than the rest of the line can hold, so that a short line cannot
// reserve more than its own size.
constexpr size_t kReservedFrames = 1024;

constexpr FieldReader<BatchMessage> kBatchFields[] = {
    {"arbId", Presence::Required,
     [](Source& in, BatchMessage& m) { return ReadU32(in, m.arb_id); }},
    {"data", Presence::Required, [](Source& in, BatchMessage& m) { return ReadBytes(in, m.data); }},
    {"extended", Presence::Required,
     [](Source& in, BatchMessage& m) { return ReadBool(in, m.extended); }},
};

// The array form [arbId, data, extended]: elements decoded in order; a short array fails where it
// ends, a long one after the three values (the extra elements are only counted).
ReadResult ReadBatchArray(Source& in, BatchMessage& out) {
  size_t count = 0;
  ReadResult status = ReadElements(in.json, [&](size_t i) -> ReadResult {
    count = i + 1;
    if (i < 3) return kBatchFields[i].read(in, out);
    in.json.Skip();
    return {};
  });
  if (!status) return status;
  if (count < 3) {
    return "invalid length " + std::to_string(count) +
           ", expected struct wire::BatchMessage with 3 elements";
  }
  if (count > 3) {
    return "invalid length " + std::to_string(count) + ", expected 3 elements in sequence";
  }
  return {};
}

ReadResult ReadBatchMessage(Source& in, BatchMessage& out) {
  if (in.json.Peek() == '{') return ReadFields(in, kBatchFields, out);
  if (in.json.Peek() == '[') return ReadBatchArray(in, out);
  return json::InvalidType(in.json.Read(), "struct wire::BatchMessage");
}

// A choice by name, or by its index among `names` (the names' order).
template <typename E, size_t N>
ReadResult ReadNamed(Source& in, const std::string_view (&names)[N], const E (&values)[N], E& out) {
  const Value value = in.json.Read();
  if (value.kind == Value::Kind::String) {
    std::string expected;
    for (size_t i = 0; i < N; ++i) {
      if (value.text == names[i]) {
        out = values[i];
        return {};
      }
      expected += (i == 0 ? "`" : ", `") + std::string(names[i]) + "`";
    }
    return "unknown variant `" + std::string(value.text) + "`, expected one of " + expected;
  }
  if (value.kind == Value::Kind::Unsigned) {
    if (value.unsigned_value >= N) {
      return json::InvalidValue(value, "variant index 0 <= i < " + std::to_string(N));
    }
    out = values[value.unsigned_value];
    return {};
  }
  return json::InvalidType(value, "variant identifier");
}

constexpr FieldReader<RecordParam> kRecordFields[] = {
    {"protocolId", Presence::Optional,
     [](Source& in, RecordParam& r) { return ReadU32(in, r.protocol_id.emplace()); }},
    {"rxStatus", Presence::Defaulted,
     [](Source& in, RecordParam& r) { return ReadU32(in, r.rx_status); }},
    {"txFlags", Presence::Defaulted,
     [](Source& in, RecordParam& r) { return ReadU32(in, r.tx_flags); }},
    {"timestamp", Presence::Defaulted,
     [](Source& in, RecordParam& r) { return ReadU32(in, r.timestamp); }},
    {"extraDataIndex", Presence::Defaulted,
     [](Source& in, RecordParam& r) { return ReadU32(in, r.extra_data_index); }},
    {"data", Presence::Required, [](Source& in, RecordParam& r) { return ReadBytes(in, r.data); }},
};

constexpr FieldReader<ConfigEntry> kConfigFields[] = {
    {"parameter", Presence::Required,
     [](Source& in, ConfigEntry& e) { return ReadU32(in, e.parameter); }},
    {"value", Presence::Required, [](Source& in, ConfigEntry& e) { return ReadU32(in, e.value); }},
};

}  // namespace

ReadResult ReadU32(Source& in, uint32_t& out) {
  uint64_t n = 0;
  ReadResult status = ReadUnsigned(in.json.Read(), std::numeric_limits<uint32_t>::max(), "u32", n);
  if (status) out = static_cast<uint32_t>(n);
  return status;
}

ReadResult ReadBool(Source& in, bool& out) {
  const Value value = in.json.Read();
  if (value.kind != Value::Kind::Bool) return json::InvalidType(value, "a boolean");
  out = value.boolean;
  return {};
}

ReadResult ReadText(Source& in, std::string& out) {
  const Value value = in.json.Read();
  if (value.kind != Value::Kind::String) return json::InvalidType(value, "a string");
  out.assign(value.text);
  return {};
}

ReadResult ReadBytes(Source& in, Bytes& out) {
  if (in.json.Peek() != '[') return json::InvalidType(in.json.Read(), "a sequence");
  in.bytes.clear();
  ReadResult status = ReadElements(in.json, [&in](size_t) -> ReadResult {
    uint64_t n = 0;
    ReadResult read = ReadUnsigned(in.json.Read(), std::numeric_limits<uint8_t>::max(), "u8", n);
    if (read) in.bytes.push_back(static_cast<uint8_t>(n));
    return read;
  });
  if (status) out.assign(in.bytes.begin(), in.bytes.end());
  return status;
}

ReadResult ReadBatchMessages(Source& in, std::vector<BatchMessage>& out) {
  if (in.json.Peek() != '[') return json::InvalidType(in.json.Read(), "a sequence");
  out.clear();
  const size_t rest = in.json.text().size() - in.json.pos();
  out.reserve(std::min(rest / kShortestFrame, kReservedFrames));
  return ReadElements(
      in.json, [&](size_t) -> ReadResult { return ReadBatchMessage(in, out.emplace_back()); });
}

ReadResult ReadInitMode(Source& in, KlineInitMode& out) {
  static constexpr std::string_view kNames[] = {"fast", "slow", "auto"};
  static constexpr KlineInitMode kModes[] = {KlineInitMode::Fast, KlineInitMode::Slow,
                                             KlineInitMode::Auto};
  return ReadNamed(in, kNames, kModes, out);
}

ReadResult ReadBufferChoice(Source& in, BufferChoice& out) {
  static constexpr std::string_view kNames[] = {"tx", "rx"};
  static constexpr BufferChoice kChoices[] = {BufferChoice::Tx, BufferChoice::Rx};
  return ReadNamed(in, kNames, kChoices, out);
}

ReadResult ReadIoctlOutput(Source& in, IoctlOutput& out) {
  static constexpr std::string_view kNames[] = {"none", "number", "bytes", "parameters", "record"};
  static constexpr IoctlOutput kKinds[] = {IoctlOutput::None, IoctlOutput::Number,
                                           IoctlOutput::Bytes, IoctlOutput::Parameters,
                                           IoctlOutput::Record};
  return ReadNamed(in, kNames, kKinds, out);
}

ReadResult ReadRecordParam(Source& in, RecordParam& out) {
  if (in.json.Peek() != '{') return json::InvalidType(in.json.Read(), "struct Record");
  return ReadFields(in, kRecordFields, out);
}

ReadResult ReadRecordParams(Source& in, std::vector<RecordParam>& out) {
  if (in.json.Peek() != '[') return json::InvalidType(in.json.Read(), "a sequence");
  out.clear();
  return ReadElements(in.json,
                      [&](size_t) -> ReadResult { return ReadRecordParam(in, out.emplace_back()); });
}

ReadResult ReadConfigEntries(Source& in, std::vector<ConfigEntry>& out) {
  if (in.json.Peek() != '[') return json::InvalidType(in.json.Read(), "a sequence");
  out.clear();
  return ReadElements(in.json, [&](size_t) -> ReadResult {
    if (in.json.Peek() != '{') return json::InvalidType(in.json.Read(), "struct ConfigEntry");
    return ReadFields(in, kConfigFields, out.emplace_back());
  });
}

ReadResult ReadU32List(Source& in, std::vector<uint32_t>& out) {
  if (in.json.Peek() != '[') return json::InvalidType(in.json.Read(), "a sequence");
  out.clear();
  return ReadElements(in.json, [&](size_t) -> ReadResult { return ReadU32(in, out.emplace_back()); });
}

ReadResult ReadVoltage(Source& in, uint32_t& out) {
  static constexpr std::string_view kNames[] = {"off", "ground"};
  static constexpr uint32_t kVoltages[] = {kVoltageOff, kShortToGround};
  if (in.json.Peek() != '"') return ReadU32(in, out);
  return ReadNamed(in, kNames, kVoltages, out);
}

ReadResult ReadFilterType(Source& in, std::string& name, std::optional<uint32_t>& number) {
  if (in.json.Peek() == '"') return ReadText(in, name);
  return ReadU32(in, number.emplace());
}

}  // namespace tarnix::protocol
