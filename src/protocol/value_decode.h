// Decoding of parameter values and of objects with named fields, straight from the line's reader,
// with the decoder's error texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "protocol/json_reader.h"
#include "protocol/request.h"
#include "wire/types.h"

namespace tarnix::protocol {

/// Success, or an error text without position.
using ReadResult = Result<void, std::string>;

/// What the value readers read from: the line's reader, and scratch space they share. Every
/// reader below takes exactly one whole value from `json`, also when it answers an error.
struct Source {
  explicit Source(json::Reader& reader) : json(reader) {}
  json::Reader& json;
  wire::Bytes bytes;  ///< byte values gathered before they are stored with one allocation
};

/// Unsigned 32-bit integer ("u32").
ReadResult ReadU32(Source& in, uint32_t& out);
/// true or false ("a boolean").
ReadResult ReadBool(Source& in, bool& out);
/// A string ("a string").
ReadResult ReadText(Source& in, std::string& out);
/// An array of integers 0..255 ("a sequence" of "u8").
ReadResult ReadBytes(Source& in, wire::Bytes& out);
/// An array of BatchMessage, each an object or an array of three values.
ReadResult ReadBatchMessages(Source& in, std::vector<wire::BatchMessage>& out);
/// "fast", "slow", "auto" or the numbers 0..2.
ReadResult ReadInitMode(Source& in, wire::KlineInitMode& out);

/// Walks the elements of the array at the cursor: `read(index)` reads each one until an error;
/// the elements after it are only checked. Returns the first error.
template <typename ReadElement>
ReadResult ReadElements(json::Reader& reader, ReadElement&& read) {
  ReadResult status;
  if (!reader.Enter()) return status;
  for (size_t i = 0; reader.NextElement(); ++i) {
    if (status) {
      status = read(i);
    } else {
      reader.Skip();
    }
  }
  return status;
}

/// Walks the members of the object at the cursor: `read(name)` reads each member's value until an
/// error; the members after it are only checked. Returns the first error.
template <typename ReadMember>
ReadResult ReadMembers(json::Reader& reader, ReadMember&& read) {
  ReadResult status;
  if (!reader.Enter()) return status;
  std::string_view name;
  while (reader.NextName(name) && reader.Colon()) {
    if (status) {
      status = read(name);
    } else {
      reader.Skip();
    }
  }
  return status;
}

/// Whether a field must be given, may be left out for its default, or may be left out or null.
enum class Presence : uint8_t { Required, Defaulted, Optional };

/// One named field of a decoded object and how its value is stored into T.
template <typename T>
struct FieldReader {
  std::string_view name;
  Presence presence;
  ReadResult (*read)(Source&, T&);
};

/// Decodes the object at the cursor into `out`: members in text order, each known field decoded
/// when met (a second occurrence is a duplicate), unknown members only checked; then the first
/// absent required field, in the order of `fields`, is missing. `out` holds the defaults on entry.
template <typename T, size_t N>
ReadResult ReadFields(Source& in, const FieldReader<T> (&fields)[N], T& out) {
  bool seen[N] = {};
  ReadResult status = ReadMembers(in.json, [&](std::string_view name) -> ReadResult {
    for (size_t f = 0; f < N; ++f) {
      if (name != fields[f].name) continue;
      if (seen[f]) {
        in.json.Skip();
        return "duplicate field `" + std::string(fields[f].name) + "`";
      }
      seen[f] = true;
      if (fields[f].presence == Presence::Optional && in.json.Peek() == 'n') {
        in.json.Skip();  // null: left out
        return {};
      }
      return fields[f].read(in, out);
    }
    in.json.Skip();
    return {};
  });
  if (!status) return status;
  for (size_t f = 0; f < N; ++f) {
    if (!seen[f] && fields[f].presence == Presence::Required) {
      return "missing field `" + std::string(fields[f].name) + "`";
    }
  }
  return {};
}

}  // namespace tarnix::protocol
