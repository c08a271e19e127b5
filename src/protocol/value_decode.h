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

namespace tarnix::protocol {

/// Success, or an error text without position.
using ReadResult = Result<void, std::string>;

/// What the value readers read from: the line's reader, and scratch space they share. Every
/// reader below takes exactly one whole value from `json`, also when it answers an error.
struct Source {
  explicit Source(json::Reader& reader) : json(reader) {}
  json::Reader& json;
  Bytes bytes;  ///< byte values gathered before they are stored with one allocation
};

/// Unsigned 32-bit integer ("u32").
ReadResult ReadU32(Source& in, uint32_t& out);
/// true or false ("a boolean").
ReadResult ReadBool(Source& in, bool& out);
/// A string ("a string").
ReadResult ReadText(Source& in, std::string& out);
/// An array of integers 0..255 ("a sequence" of "u8").
ReadResult ReadBytes(Source& in, Bytes& out);
/// An array of BatchMessage, each an object or an array of three values.
ReadResult ReadBatchMessages(Source& in, std::vector<BatchMessage>& out);
/// "fast", "slow", "auto" or the numbers 0..2.
ReadResult ReadInitMode(Source& in, KlineInitMode& out);
/// A record object: "data" required, "protocolId" optional, the other numbers 0 by default.
ReadResult ReadRecordParam(Source& in, RecordParam& out);
/// An array of record objects.
ReadResult ReadRecordParams(Source& in, std::vector<RecordParam>& out);
/// An array of {"parameter":u32,"value":u32}.
ReadResult ReadConfigEntries(Source& in, std::vector<ConfigEntry>& out);
/// An array of u32.
ReadResult ReadU32List(Source& in, std::vector<uint32_t>& out);
/// Millivolts as u32, or "off" (VOLTAGE_OFF) or "ground" (SHORT_TO_GROUND).
ReadResult ReadVoltage(Source& in, uint32_t& out);
/// "tx", "rx" or the numbers 0..1.
ReadResult ReadBufferChoice(Source& in, BufferChoice& out);
/// "none", "number", "bytes", "parameters", "record" or the numbers 0..4.
ReadResult ReadIoctlOutput(Source& in, IoctlOutput& out);
/// A filter type: a string into `name`, or a u32 into `number`.
ReadResult ReadFilterType(Source& in, std::string& name, std::optional<uint32_t>& number);

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

/// Whether a field must be given, may be left out for its default, or may be left out or null;
/// or, with another field named: must be given unless that one is (Unless), or must be given
/// exactly when that one is (Paired, which may be null like an optional field).
enum class Presence : uint8_t { Required, Defaulted, Optional, Unless, Paired };

/// One named field of a decoded object and how its value is stored into T.
template <typename T>
struct FieldReader {
  std::string_view name;
  Presence presence;
  ReadResult (*read)(Source&, T&);
  std::string_view other = {};  ///< the field Unless and Paired refer to
};

/// Whether the field named `name` of `fields` was given.
template <typename T, size_t N>
bool GivenField(const FieldReader<T> (&fields)[N], const bool (&given)[N], std::string_view name) {
  for (size_t f = 0; f < N; ++f) {
    if (fields[f].name == name) return given[f];
  }
  return false;
}

/// Decodes the object at the cursor into `out`: members in text order, each known field decoded
/// when met (a second occurrence is a duplicate), unknown members only checked; then the first
/// absent field that its presence requires, in the order of `fields`, is missing. A null given
/// to a Paired field counts as absent. `out` holds the defaults on entry.
template <typename T, size_t N>
ReadResult ReadFields(Source& in, const FieldReader<T> (&fields)[N], T& out) {
  bool seen[N] = {};
  bool given[N] = {};  // seen, and not null
  ReadResult status = ReadMembers(in.json, [&](std::string_view name) -> ReadResult {
    for (size_t f = 0; f < N; ++f) {
      if (name != fields[f].name) continue;
      if (seen[f]) {
        in.json.Skip();
        return "duplicate field `" + std::string(fields[f].name) + "`";
      }
      seen[f] = true;
      const bool nullable =
          fields[f].presence == Presence::Optional || fields[f].presence == Presence::Paired;
      if (nullable && in.json.Peek() == 'n') {
        in.json.Skip();  // null: left out
        return {};
      }
      given[f] = true;
      return fields[f].read(in, out);
    }
    in.json.Skip();
    return {};
  });
  if (!status) return status;
  for (size_t f = 0; f < N; ++f) {
    if (given[f]) continue;
    const Presence presence = fields[f].presence;
    if (presence == Presence::Required ||
        (presence == Presence::Unless && !GivenField(fields, given, fields[f].other)) ||
        (presence == Presence::Paired && GivenField(fields, given, fields[f].other))) {
      return "missing field `" + std::string(fields[f].name) + "`";
    }
  }
  return {};
}

}  // namespace tarnix::protocol
