// The one JSON writer: compact text with the escaping and number forms the wire's clients expect,
// for the answers, the trace and the version cache alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix {

/// What the string writer does with bytes that are not UTF-8.
enum class InvalidUtf8 : uint8_t {
  kKeep,     ///< written unchanged: the wire carries a library's bytes as they came
  kReplace,  ///< each maximal invalid sequence becomes U+FFFD: a file stays UTF-8 throughout
};

/// Appends `text` as a JSON string: \" and \\, the short escapes \b \t \n \f \r, \u00xx in lower
/// case for the other control characters; everything else (solidus, U+007F, non-ASCII) unchanged
/// but for invalid UTF-8, which `invalid` decides.
void AppendJsonString(std::string& out, std::string_view text,
                      InvalidUtf8 invalid = InvalidUtf8::kKeep);

/// A double in the shortest form that reads back exactly ("12.0", "12.34", "1e-7"); "null" when
/// it is not finite.
std::string FormatDouble(double value);

/// Builds compact JSON: no blanks, members and elements separated by a comma only. The caller
/// pairs Begin/End calls and gives a Key before each member value.
class JsonWriter {
 public:
  /// Strings (keys included) are written as AppendJsonString does with `invalid`.
  explicit JsonWriter(InvalidUtf8 invalid = InvalidUtf8::kKeep) : invalid_(invalid) {}

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
  InvalidUtf8 invalid_;
};

}  // namespace tarnix
