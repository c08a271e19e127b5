// Writes typed lines as JSON text, through the JSON writer (invalid UTF-8 replaced).
#include "trace/encode.h"

#include <variant>

#include "common/json_writer.h"
#include "passthru/names.h"

namespace tarnix::trace {
namespace {

void Member(JsonWriter& w, std::string_view key, uint64_t number) {
  w.Key(key);
  w.Unsigned(number);
}

void Member(JsonWriter& w, std::string_view key, std::string_view text) {
  w.Key(key);
  w.String(text);
}

void NullMember(JsonWriter& w, std::string_view key) {
  w.Key(key);
  w.Null();
}

void Write(JsonWriter& w, const Record& record) {
  w.BeginObject();
  Member(w, "protocol", record.protocol);
  Member(w, "txFlags", record.tx_flags);
  Member(w, "rxStatus", record.rx_status);
  Member(w, "timestamp", record.timestamp);
  Member(w, "dataSize", record.data_size);
  Member(w, "extraDataIndex", record.extra_data_index);
  if (record.buffer_size) Member(w, "dataBufferSize", *record.buffer_size);
  if (record.null_buffer) {
    NullMember(w, "data");
  } else {
    Member(w, "data", Hex(record.data));
  }
  w.EndObject();
}

void Write(JsonWriter& w, const ConfigItem& item) {
  w.BeginObject();
  Member(w, "parameter", item.parameter);
  if (auto name = passthru::ParameterName(item.parameter)) Member(w, "name", *name);
  Member(w, "value", item.value);
  w.EndObject();
}

void Write(JsonWriter& w, const ByteArray& array) {
  w.BeginObject();
  Member(w, "numOfBytes", array.num_of_bytes);
  if (array.data) {
    Member(w, "data", Hex(*array.data));
  } else {
    NullMember(w, "data");
  }
  w.EndObject();
}

void Write(JsonWriter& w, uint32_t pin) {
  w.Unsigned(pin);
}

template <typename Item>
void Write(JsonWriter& w, const std::vector<Item>& items) {
  w.BeginArray();
  for (const Item& item : items)
    Write(w, item);
  w.EndArray();
}

void Write(JsonWriter& w, const Resource& resource) {
  w.BeginObject();
  Member(w, "connector", resource.connector);
  Member(w, "numResources", resource.num_resources);
  w.Key("resources");
  if (resource.pins) {
    Write(w, *resource.pins);
  } else {
    w.Null();
  }
  w.EndObject();
}

void Write(JsonWriter& w, NullPointer) {
  w.Null();
}
void Write(JsonWriter& w, NonNullPointer) {
  w.String("non-null");
}
void Write(JsonWriter& w, uint64_t number) {
  w.Unsigned(number);
}
void Write(JsonWriter& w, const std::string& text) {
  w.String(text);
}

void Write(JsonWriter& w, const Fields& fields) {
  for (const Field& field : fields.items()) {
    w.Key(field.key);
    std::visit([&w](const auto& value) { Write(w, value); }, field.value);
  }
}

void WriteCall(JsonWriter& w, const Call& call) {
  Member(w, "fn", call.fn);
  Write(w, call.args);
  Member(w, "ret", call.ret);
  if (call.injected) {
    w.Key("injected");
    w.Bool(true);
  }
  if (call.diverged) Member(w, "replay", "diverged");
  Write(w, call.outputs);
}

/// The members of each kind of line, "fn" first.
void WriteContent(JsonWriter& w, const Line& line) {
  switch (line.kind) {
    case Line::Kind::kCall:
      WriteCall(w, line.call);
      break;
    case Line::Kind::kLoad:
      Member(w, "fn", "load");
      break;
    case Line::Kind::kUnload:
      Member(w, "fn", "unload");
      break;
    case Line::Kind::kConfig:
      Member(w, "fn", "config");
      Member(w, "problem", line.problem);
      break;
    case Line::Kind::kThread:
      Member(w, "fn", "loaderThread");
      Member(w, "event", line.event);
      break;
    case Line::Kind::kHeader:
      Member(w, "fn", "trace");
      Member(w, "version", line.header.version);
      Member(w, "bridge", line.header.bridge);
      Member(w, "bits", line.header.bits);
      Member(w, "library", line.header.library);
      break;
    case Line::Kind::kTruncated:
      Member(w, "fn", "trace");
      w.Key("truncated");
      w.Bool(true);
      break;
    case Line::Kind::kCrashed:
      Member(w, "fn", "trace");
      if (line.crashed_in) {
        Member(w, "crashed", *line.crashed_in);
      } else {
        NullMember(w, "crashed");
      }
      break;
  }
}

}  // namespace

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

std::string EncodeCall(const Call& call) {
  JsonWriter w(InvalidUtf8::kReplace);
  w.BeginObject();
  WriteCall(w, call);
  w.EndObject();
  return w.Take();
}

std::string EncodeLine(const Line& line) {
  JsonWriter w(InvalidUtf8::kReplace);
  w.BeginObject();
  WriteContent(w, line);
  if (line.t) Member(w, "t", *line.t);
  if (line.us) Member(w, "us", *line.us);
  w.EndObject();
  return w.Take();
}

std::string EncodeMarker(Line::Kind kind) {
  Line line;
  line.kind = kind;
  return EncodeLine(line);
}

CrashedLineParts EncodeCrashedLineParts() {
  Line line;
  line.kind = Line::Kind::kCrashed;
  const std::string text = EncodeLine(line);
  const size_t null_at = text.rfind("null");
  return {text.substr(0, null_at), text.substr(null_at + 4)};
}

std::string EncodeProblem(std::string_view problem) {
  Line line;
  line.kind = Line::Kind::kConfig;
  line.problem = problem;
  return EncodeLine(line);
}

std::string EncodeThreadEvent(std::string_view event) {
  Line line;
  line.kind = Line::Kind::kThread;
  line.event = event;
  return EncodeLine(line);
}

}  // namespace tarnix::trace
