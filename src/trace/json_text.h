// JSON text of the trace format: hex bytes, strings, and objects built member by member.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnix::trace {

/// Bytes as an uppercase hex string without separators: {0x07, 0xE0} -> "07E0".
std::string Hex(std::span<const uint8_t> bytes);

/// `text` as a quoted JSON string; invalid UTF-8 sequences become U+FFFD.
std::string JsonString(std::string_view text);

/// Builds one JSON object member by member, in the order they are added.
class JsonObject {
 public:
  JsonObject& Num(std::string_view key, uint64_t value);
  JsonObject& Str(std::string_view key, std::string_view value);
  JsonObject& Bool(std::string_view key, bool value);
  JsonObject& Null(std::string_view key);
  /// Adds `json`, already valid JSON (an object, an array), as the value of `key`.
  JsonObject& Raw(std::string_view key, std::string_view json);
  /// Appends the members of `other` to this object.
  JsonObject& Merge(const JsonObject& other);
  bool empty() const { return members_.empty(); }
  /// The object with its braces.
  std::string Text() const { return "{" + members_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string members_;
};

}  // namespace tarnix::trace
