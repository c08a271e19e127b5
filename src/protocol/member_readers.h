// Readers that store one parameter into one member of a method's struct, for the field tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/request.h"
#include "protocol/value_decode.h"

namespace tarnix::protocol::members {

template <typename T, uint32_t T::*M>
ReadResult U32(Source& in, T& out) {
  return ReadU32(in, out.*M);
}
template <typename T, bool T::*M>
ReadResult Flag(Source& in, T& out) {
  return ReadBool(in, out.*M);
}
template <typename T, std::string T::*M>
ReadResult Text(Source& in, T& out) {
  return ReadText(in, out.*M);
}
template <typename T, Bytes T::*M>
ReadResult Data(Source& in, T& out) {
  return ReadBytes(in, out.*M);
}
template <typename T, std::vector<BatchMessage> T::*M>
ReadResult Batch(Source& in, T& out) {
  return ReadBatchMessages(in, out.*M);
}
template <typename T, std::optional<Bytes> T::*M>
ReadResult MaybeData(Source& in, T& out) {
  return ReadBytes(in, (out.*M).emplace());
}
template <typename T, std::optional<uint32_t> T::*M>
ReadResult MaybeU32(Source& in, T& out) {
  return ReadU32(in, (out.*M).emplace());
}
template <typename T, std::optional<RecordParam> T::*M>
ReadResult MaybeRecord(Source& in, T& out) {
  return ReadRecordParam(in, (out.*M).emplace());
}

constexpr auto kRequired = Presence::Required;
constexpr auto kDefaulted = Presence::Defaulted;
constexpr auto kOptional = Presence::Optional;
constexpr auto kUnless = Presence::Unless;
constexpr auto kPaired = Presence::Paired;

/// The `channel` member of every channel method.
template <typename T>
constexpr FieldReader<T> kChannel = {"channel", kOptional, MaybeU32<T, &T::channel>};

}  // namespace tarnix::protocol::members
