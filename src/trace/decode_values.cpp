// Conversions from parsed JSON to records, SCONFIG lists, byte arrays, resources and pointers.
#include "trace/decode_values.h"

#include <algorithm>

#include <limits>

#include "trace/schema.h"

namespace tarnix::trace::detail {
namespace {

using json::Node;

constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();
/// Hostile keys can be megabytes long; a refusal shows their start.
constexpr size_t kQuotedKeyLimit = 40;

std::string Quoted(std::string_view key) {
  if (key.size() <= kQuotedKeyLimit) return "\"" + std::string(key) + "\"";
  size_t cut = kQuotedKeyLimit;
  while (cut > 0 && (static_cast<uint8_t>(key[cut]) & 0xC0) == 0x80)
    --cut;  // not inside a UTF-8 sequence
  return "\"" + std::string(key.substr(0, cut)) + "...\"";
}

Error Expected(std::string_view key, std::string_view expected, const Node& found) {
  return Fail(Quoted(key) + ": expected " + std::string(expected) + ", found " +
              json::Describe(found));
}

/// The kinds of `kinds` as a refusal lists them: "a number or null".
std::string KindNames(uint16_t kinds) {
  static constexpr std::pair<uint16_t, std::string_view> kNames[] = {
      {kNumber, "a number"},
      {kText, "a string"},
      {kNull, "null"},
      {kNonNull, "\"non-null\""},
      {kRecord, "a message record"},
      {kRecords, "a list of message records"},
      {kConfig, "an SCONFIG list"},
      {kBytes, "a byte array"},
      {kResource, "a resource"},
  };
  std::string names;
  for (const auto& [kind, name] : kNames) {
    if ((kinds & kind) == 0) continue;
    if (!names.empty()) names += " or ";
    names += name;
  }
  return names;
}

Result<std::vector<uint8_t>> ToHex(const Node& node, std::string_view key) {
  if (node.kind != Node::Kind::kString) return Expected(key, "hex bytes", node);
  const std::string& text = node.text;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) return Fail(Quoted(key) + ": odd number of hex digits");
  std::vector<uint8_t> bytes(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return Fail(Quoted(key) + ": not hex digits");
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return bytes;
}

/// A required 32-bit number member of an object; `key` names it.
Result<uint32_t> Required32(const Node* node, std::string_view key) {
  if (node == nullptr) return Fail("no " + Quoted(key));
  auto number = ToNumber(*node, key, kMax32);
  if (!number) return std::move(number).error();
  return static_cast<uint32_t>(*number);
}

Result<Record> ToRecord(const Node& node, std::string_view key) {
  static constexpr std::array<std::string_view, 8> kKeys = {
      "protocol", "txFlags",        "rxStatus",       "timestamp",
      "dataSize", "extraDataIndex", "dataBufferSize", "data"};
  auto found = Members(node, kKeys, Quoted(key));
  if (!found) return std::move(found).error();
  Record record;
  uint32_t* const numbers[] = {&record.protocol,  &record.tx_flags,  &record.rx_status,
                               &record.timestamp, &record.data_size, &record.extra_data_index};
  for (size_t i = 0; i < std::size(numbers); ++i) {
    auto number = Required32((*found)[i], kKeys[i]);
    if (!number) return Fail(Quoted(key) + ": " + number.error().text);
    *numbers[i] = *number;
  }
  if (const Node* size = (*found)[6]) {
    auto number = Required32(size, kKeys[6]);
    if (!number) return Fail(Quoted(key) + ": " + number.error().text);
    record.buffer_size = *number;
  }
  const Node* data = (*found)[7];
  if (data == nullptr) return Fail(Quoted(key) + ": no \"data\"");
  if (data->kind == Node::Kind::kNull) {
    record.null_buffer = true;
    return record;
  }
  auto bytes = ToHex(*data, "data");
  if (!bytes) return Fail(Quoted(key) + ": " + bytes.error().text);
  record.data = std::move(*bytes);
  return record;
}

Result<Value> ToRecords(const Node& node, std::string_view key) {
  std::vector<Record> records;
  records.reserve(node.items.size());
  for (size_t i = 0; i < node.items.size(); ++i) {
    auto record = ToRecord(node.items[i], std::string(key) + "[" + std::to_string(i) + "]");
    if (!record) return std::move(record).error();
    records.push_back(std::move(*record));
  }
  return Value(std::move(records));
}

Result<Value> ToConfig(const Node& node, std::string_view key) {
  static constexpr std::array<std::string_view, 3> kKeys = {"parameter", "name", "value"};
  std::vector<ConfigItem> items;
  items.reserve(node.items.size());
  for (size_t i = 0; i < node.items.size(); ++i) {
    const std::string where = std::string(key) + "[" + std::to_string(i) + "]";
    auto found = Members(node.items[i], kKeys, Quoted(where));
    if (!found) return std::move(found).error();
    auto parameter = Required32((*found)[0], kKeys[0]);
    auto value = Required32((*found)[2], kKeys[2]);
    if (!parameter) return Fail(Quoted(where) + ": " + parameter.error().text);
    if (!value) return Fail(Quoted(where) + ": " + value.error().text);
    if ((*found)[1] != nullptr && (*found)[1]->kind != Node::Kind::kString) {
      return Fail(Quoted(where) + ": " + Expected("name", "a string", *(*found)[1]).text);
    }
    items.push_back({*parameter, *value});
  }
  return Value(std::move(items));
}

Result<Value> ToByteArray(const Node& node, std::string_view key) {
  static constexpr std::array<std::string_view, 2> kKeys = {"numOfBytes", "data"};
  auto found = Members(node, kKeys, Quoted(key));
  if (!found) return std::move(found).error();
  ByteArray array;
  auto count = Required32((*found)[0], kKeys[0]);
  if (!count) return Fail(Quoted(key) + ": " + count.error().text);
  array.num_of_bytes = *count;
  const Node* data = (*found)[1];
  if (data == nullptr) return Fail(Quoted(key) + ": no \"data\"");
  if (data->kind != Node::Kind::kNull) {
    auto bytes = ToHex(*data, "data");
    if (!bytes) return Fail(Quoted(key) + ": " + bytes.error().text);
    array.data = std::move(*bytes);
  }
  return Value(std::move(array));
}

Result<Value> ToResource(const Node& node, std::string_view key) {
  static constexpr std::array<std::string_view, 3> kKeys = {"connector", "numResources",
                                                            "resources"};
  auto found = Members(node, kKeys, Quoted(key));
  if (!found) return std::move(found).error();
  Resource resource;
  auto connector = Required32((*found)[0], kKeys[0]);
  auto count = Required32((*found)[1], kKeys[1]);
  if (!connector) return Fail(Quoted(key) + ": " + connector.error().text);
  if (!count) return Fail(Quoted(key) + ": " + count.error().text);
  resource.connector = *connector;
  resource.num_resources = *count;
  const Node* pins = (*found)[2];
  if (pins == nullptr) return Fail(Quoted(key) + ": no \"resources\"");
  if (pins->kind == Node::Kind::kNull) return Value(std::move(resource));
  if (pins->kind != Node::Kind::kArray) return Expected("resources", "a list or null", *pins);
  resource.pins.emplace();
  for (const Node& pin : pins->items) {
    auto number = ToNumber(pin, "resources", kMax32);
    if (!number) return Fail(Quoted(key) + ": " + number.error().text);
    resource.pins->push_back(static_cast<uint32_t>(*number));
  }
  return Value(std::move(resource));
}

}  // namespace

Result<uint64_t> ToNumber(const Node& node, std::string_view key, uint64_t max) {
  if (node.kind != Node::Kind::kUnsigned) return Expected(key, "a number", node);
  if (node.number > max) {
    return Fail(Quoted(key) + ": the number " + std::to_string(node.number) + " is beyond " +
                (max == kMax32 ? "32" : "64") + " bits");
  }
  return node.number;
}

Result<std::string> ToText(const Node& node, std::string_view key) {
  if (node.kind != Node::Kind::kString) return Expected(key, "a string", node);
  return node.text;
}

Result<Value> ToValue(const Node& node, uint16_t kinds, std::string_view key) {
  switch (node.kind) {
    case Node::Kind::kNull:
      if (kinds & kNull) return Value(NullPointer{});
      break;
    case Node::Kind::kString:
      if ((kinds & kNonNull) && node.text == "non-null") return Value(NonNullPointer{});
      if (kinds & kText) return Value(node.text);
      break;
    case Node::Kind::kUnsigned:
      if (kinds & kNumber) {
        auto number = ToNumber(node, key, kMax32);
        if (!number) return std::move(number).error();
        return Value(*number);
      }
      break;
    case Node::Kind::kObject:
      // Where both may stand, a byte array is told from a record by its count.
      if ((kinds & kBytes) &&
          std::find(node.keys.begin(), node.keys.end(), "numOfBytes") != node.keys.end()) {
        return ToByteArray(node, key);
      }
      if (kinds & kRecord) {
        auto record = ToRecord(node, key);
        if (!record) return std::move(record).error();
        return Value(std::move(*record));
      }
      if (kinds & kBytes) return ToByteArray(node, key);
      if (kinds & kResource) return ToResource(node, key);
      break;
    case Node::Kind::kArray:
      if (kinds & kRecords) return ToRecords(node, key);
      if (kinds & kConfig) return ToConfig(node, key);
      break;
    default:
      break;
  }
  return Expected(key, KindNames(kinds), node);
}

Result<void> FindMembers(const Node& object, std::span<const std::string_view> keys,
                         std::span<const Node*> found, std::string_view what) {
  if (object.kind != Node::Kind::kObject) {
    return Fail(std::string(what) + ": expected an object, found " + json::Describe(object));
  }
  for (size_t i = 0; i < object.keys.size(); ++i) {
    size_t index = 0;
    while (index < keys.size() && keys[index] != object.keys[i])
      ++index;
    if (index == keys.size()) {
      return Fail("unknown member " + Quoted(object.keys[i]) + " in " + std::string(what));
    }
    if (found[index] != nullptr) {
      return Fail("repeated member " + Quoted(object.keys[i]) + " in " + std::string(what));
    }
    found[index] = &object.items[i];
  }
  return {};
}

}  // namespace tarnix::trace::detail
