// A bounded JSON parser for trace lines: any bytes in, a small value tree or a refusal out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace tarnix::trace::json {

/// Nesting a line may have: the line object, a list in it, an object in that list, and one more
/// level for the resource pins. Deeper input is refused before it is built.
inline constexpr size_t kMaxDepth = 4;
/// Values (scalars and containers) a line may hold: far above the largest read of the bridge
/// (256 records of 8 members), far below what would make the tree large.
inline constexpr size_t kMaxValues = size_t{1} << 16;

/// A parsed JSON value.
struct Node {
  enum class Kind : uint8_t {
    kNull,
    kBool,
    kUnsigned,
    kNegative,
    kFraction,
    kString,
    kArray,
    kObject
  };
  Kind kind = Kind::kNull;
  bool boolean = false;
  uint64_t number = 0;            ///< kUnsigned
  std::string text;               ///< kString
  std::vector<Node> items;        ///< kArray elements, or kObject member values
  std::vector<std::string> keys;  ///< kObject member keys, parallel to `items`
};

/// Parses `text` as exactly one JSON value in UTF-8. Refuses bad syntax, invalid UTF-8, NUL
/// bytes, nesting beyond kMaxDepth and more than kMaxValues values; time and memory are linear
/// in the text's length.
Result<Node> ParseTree(std::string_view text);

/// How a refusal names a found value: "null", "a boolean", "a negative number", "a string", ...
std::string Describe(const Node& node);

}  // namespace tarnix::trace::json
