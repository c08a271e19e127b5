// A small writer of compact JSON text with the escaping and number forms our clients expect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix::protocol {

/// Appends `text` as a JSON string: \" and \\, the short escapes \b \t \n \f \r, \u00xx in lower
/// case for the other control characters; everything else (solidus, U+007F, non-ASCII) unchanged.
void AppendJsonString(std::string& out, std::string_view text);

/// Builds compact JSON: no blanks, members and elements separated by a comma only. The caller
/// pairs Begin/End calls and gives a Key before each member value.
class JsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view name);
  void Null();
  void Bool(bool value);
  void Unsigned(uint64_t value);
  void Signed(int64_t value);
  /// Shortest text that reads back exactly (FormatDouble); null when not finite.
  void Double(double value);
  void String(std::string_view value);
  /// An array of small integers, for byte payloads.
  void Bytes(const std::vector<uint8_t>& bytes);

  const std::string& text() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  void BeforeValue();

  std::string out_;
  std::vector<bool> has_element_;  // per open container: something was written into it
  bool after_key_ = false;
};

}  // namespace tarnix::protocol
