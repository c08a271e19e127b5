// Reads a request line one JSON token at a time: every byte is checked once as it passes, and
// nothing is kept that the caller does not take.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/json_syntax.h"
#include "protocol/json_value.h"

namespace tarnix::protocol::json {

/// Nesting allowed in a request line, the request object itself being the first level.
inline constexpr int kMaxNesting = 127;

/// A cursor over the text of a request line. Values are read at the cursor: a scalar in full, a
/// container by entering it and walking its elements or members. The first syntax error (or a
/// failure the caller raises) stops the reader for good: failed() turns true, the failure is kept,
/// later calls read nothing and every walk over a container ends.
class Reader {
 public:
  /// Reads `text` from offset `pos`, inside `depth` containers already open there.
  explicit Reader(std::string_view text, size_t pos = 0, int depth = 0)
      : text_(text), pos_(pos), depth_(depth) {}

  std::string_view text() const { return text_; }
  /// Offset of the next byte to read.
  size_t pos() const { return pos_; }
  bool failed() const { return failed_; }
  const DecodeError& failure() const { return failure_; }
  /// Stops the reader with `failure`, unless it has already stopped.
  void Fail(DecodeError failure);

  /// The byte at the cursor, NUL at the end of the text. At a value, '[' and '{' tell containers.
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  /// Moves the cursor over blanks.
  void SkipBlanks();

  /// Reads the value at the cursor: a scalar in full (a string's text stays valid until the next
  /// string is read); a container is checked and passed over, and only its kind returned.
  Value Read();
  /// Checks the value at the cursor and passes over it, keeping nothing.
  void Skip();

  /// Enters the container whose bracket is at the cursor; fails beyond kMaxNesting levels.
  bool Enter();
  /// Moves to the next element of the array entered last: true at an element, which the caller
  /// then reads; false at the end of the array (which is left) or once the reader has failed.
  bool NextElement();
  /// Moves to the next member of the object entered last and reads its name (valid until the next
  /// name is read): true before the colon; false at the end of the object or once failed.
  bool NextName(std::string_view& name) { return NextMember(&name); }
  /// Reads the colon after a member's name, leaving the cursor at the member's value.
  bool Colon();

 private:
  bool NextMember(std::string_view* name);
  std::string_view ReadString(std::string* decoded);
  bool Literal(std::string_view word);
  Value Number(bool keep);

  std::string_view text_;
  size_t pos_ = 0;
  int depth_ = 0;
  bool first_ = false;  // nothing read yet in the container entered last
  bool failed_ = false;
  DecodeError failure_;
  std::string name_buffer_;  // a member name that holds escapes, decoded
  std::string text_buffer_;  // a string value that holds escapes, decoded
};

}  // namespace tarnix::protocol::json
