// Writes typed lines as JSON text.
#include "trace/encode.h"

#include "passthru/names.h"
#include "trace/json_text.h"

namespace tarnix::trace {
namespace {

std::string RecordText(const Record& record) {
  JsonObject json;
  json.Num("protocol", record.protocol)
      .Num("txFlags", record.tx_flags)
      .Num("rxStatus", record.rx_status)
      .Num("timestamp", record.timestamp)
      .Num("dataSize", record.data_size)
      .Num("extraDataIndex", record.extra_data_index);
  if (record.buffer_size) json.Num("dataBufferSize", *record.buffer_size);
  if (record.null_buffer) {
    json.Null("data");
  } else {
    json.Str("data", Hex(record.data));
  }
  return json.Text();
}

template <typename Item, typename Each>
std::string ListText(const std::vector<Item>& items, Each&& each) {
  std::string text = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ',';
    text += each(items[i]);
  }
  return text + "]";
}

std::string ConfigText(const ConfigItem& item) {
  JsonObject entry;
  entry.Num("parameter", item.parameter);
  if (auto name = passthru::ParameterName(item.parameter)) entry.Str("name", *name);
  return entry.Num("value", item.value).Text();
}

std::string ByteArrayText(const ByteArray& array) {
  JsonObject json;
  json.Num("numOfBytes", array.num_of_bytes);
  if (array.data) {
    json.Str("data", Hex(*array.data));
  } else {
    json.Null("data");
  }
  return json.Text();
}

std::string ResourceText(const Resource& resource) {
  JsonObject json;
  json.Num("connector", resource.connector).Num("numResources", resource.num_resources);
  if (resource.pins) {
    json.Raw("resources",
             ListText(*resource.pins, [](uint32_t pin) { return std::to_string(pin); }));
  } else {
    json.Null("resources");
  }
  return json.Text();
}

/// Visits a Value, one overload per alternative.
struct ValueText {
  std::string operator()(NullPointer) const { return "null"; }
  std::string operator()(NonNullPointer) const { return "\"non-null\""; }
  std::string operator()(uint64_t number) const { return std::to_string(number); }
  std::string operator()(const std::string& text) const { return JsonString(text); }
  std::string operator()(const Record& record) const { return RecordText(record); }
  std::string operator()(const std::vector<Record>& records) const {
    return ListText(records, RecordText);
  }
  std::string operator()(const std::vector<ConfigItem>& items) const {
    return ListText(items, ConfigText);
  }
  std::string operator()(const ByteArray& array) const { return ByteArrayText(array); }
  std::string operator()(const Resource& resource) const { return ResourceText(resource); }
};

void AddFields(JsonObject& json, const Fields& fields) {
  for (const Field& field : fields.items()) {
    json.Raw(field.key, EncodeValue(field.value));
  }
}

void AddCall(JsonObject& json, const Call& call) {
  json.Str("fn", call.fn);
  AddFields(json, call.args);
  json.Num("ret", call.ret);
  if (call.injected) json.Bool("injected", true);
  if (call.diverged) json.Str("replay", "diverged");
  AddFields(json, call.outputs);
}

}  // namespace

std::string EncodeValue(const Value& value) {
  return std::visit(ValueText{}, value);
}

std::string EncodeCall(const Call& call) {
  JsonObject json;
  AddCall(json, call);
  return json.Text();
}

std::string EncodeLine(const Line& line) {
  JsonObject json;
  switch (line.kind) {
    case Line::Kind::kCall:
      AddCall(json, line.call);
      break;
    case Line::Kind::kLoad:
      json.Str("fn", "load");
      break;
    case Line::Kind::kUnload:
      json.Str("fn", "unload");
      break;
    case Line::Kind::kConfig:
      json.Str("fn", "config").Str("problem", line.problem);
      break;
    case Line::Kind::kThread:
      json.Str("fn", "loaderThread").Str("event", line.event);
      break;
    case Line::Kind::kHeader:
      json.Str("fn", "trace")
          .Num("version", line.header.version)
          .Str("bridge", line.header.bridge)
          .Num("bits", line.header.bits)
          .Str("library", line.header.library);
      break;
    case Line::Kind::kTruncated:
      json.Str("fn", "trace").Bool("truncated", true);
      break;
    case Line::Kind::kCrashed:
      json.Str("fn", "trace");
      if (line.crashed_in) {
        json.Str("crashed", *line.crashed_in);
      } else {
        json.Null("crashed");
      }
      break;
  }
  if (line.t) json.Num("t", *line.t);
  if (line.us) json.Num("us", *line.us);
  return json.Text();
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
