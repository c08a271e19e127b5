// Decoding of parameter values and of objects with named fields, with the decoder's error texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "protocol/json_value.h"
#include "protocol/request.h"

namespace tarnix::protocol {

/// Success, or an error text without position.
using Status = Result<void, std::string>;

/// Unsigned 32-bit integer ("u32").
Status ReadU32(const json::Value& value, uint32_t& out);
/// true or false ("a boolean").
Status ReadBool(const json::Value& value, bool& out);
/// A string ("a string").
Status ReadText(const json::Value& value, std::string& out);
/// An array of integers 0..255 ("a sequence" of "u8").
Status ReadBytes(const json::Value& value, Bytes& out);
/// An array of BatchMessage, each an object or an array of three values.
Status ReadBatchMessages(const json::Value& value, std::vector<BatchMessage>& out);
/// "fast", "slow", "auto" or the numbers 0..2.
Status ReadInitMode(const json::Value& value, KlineInitMode& out);

/// Whether a field must be given, may be left out for its default, or may be left out or null.
enum class Presence : uint8_t { Required, Defaulted, Optional };

/// One named field of a decoded object and how its value is stored into T.
template <typename T>
struct Field {
  std::string_view name;
  Presence presence;
  Status (*read)(const json::Value&, T&);
};

/// Decodes the members of `object` into `out`: members in text order, each known field decoded
/// when met (a second occurrence is a duplicate), unknown members ignored; then the first absent
/// required field, in the order of `fields`, is missing. `out` holds the defaults on entry.
template <typename T, size_t N>
Status ReadFields(const json::Value& object, const Field<T> (&fields)[N], T& out) {
  bool seen[N] = {};
  for (size_t m = 0; m < object.items.size(); ++m) {
    for (size_t f = 0; f < N; ++f) {
      if (object.keys[m] != fields[f].name) continue;
      if (seen[f]) return "duplicate field `" + std::string(fields[f].name) + "`";
      seen[f] = true;
      const json::Value& value = object.items[m];
      if (fields[f].presence == Presence::Optional && value.kind == json::Value::Kind::Null) break;
      Status status = fields[f].read(value, out);
      if (!status) return status;
      break;
    }
  }
  for (size_t f = 0; f < N; ++f) {
    if (!seen[f] && fields[f].presence == Presence::Required) {
      return "missing field `" + std::string(fields[f].name) + "`";
    }
  }
  return {};
}

}  // namespace tarnix::protocol
