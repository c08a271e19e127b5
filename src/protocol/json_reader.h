// Reads the JSON object of a request line: syntax, nesting, the id, and the members decoded later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "protocol/json_syntax.h"
#include "protocol/json_value.h"

namespace tarnix::protocol::json {

/// Nesting allowed in a request line, the request object itself being the first level.
inline constexpr int kMaxNesting = 127;

/// The request object as read. The id is checked while it is read; "method" and "params" are
/// kept, in text order, for decoding once the whole object is known to be well-formed.
struct Envelope {
  struct Member {
    bool is_method = false;  ///< "method" when true, "params" when false
    Value value;
  };
  std::optional<uint64_t> id;
  std::vector<Member> members;
  size_t closing_consumed = 0;     ///< bytes read up to and including the closing brace
  std::optional<size_t> trailing;  ///< offset of the first non-blank byte after the object
};

/// Reads `line` as one JSON object. Fails on a syntax error, on nesting deeper than kMaxNesting,
/// on a top-level value that is not an object, and on a duplicate or invalid "id".
Result<Envelope, Failure> ReadEnvelope(std::string_view line);

}  // namespace tarnix::protocol::json
