// The parameters of each method: names, presence rules and value types.
#include "protocol/params_decode.h"

#include <array>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>

#include "wire/types.h"

namespace tarnix::protocol {
namespace {

using json::Value;
using Decoded = Result<Request, std::string>;

// Readers that store into one member of a parameter struct.
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
template <typename T, wire::Bytes T::*M>
ReadResult Data(Source& in, T& out) {
  return ReadBytes(in, out.*M);
}
template <typename T, std::vector<wire::BatchMessage> T::*M>
ReadResult Batch(Source& in, T& out) {
  return ReadBatchMessages(in, out.*M);
}
template <typename T, std::optional<wire::Bytes> T::*M>
ReadResult MaybeData(Source& in, T& out) {
  return ReadBytes(in, (out.*M).emplace());
}
template <typename T, std::optional<uint32_t> T::*M>
ReadResult MaybeU32(Source& in, T& out) {
  return ReadU32(in, (out.*M).emplace());
}

// A method without parameters: "params" may be absent or null.
template <typename T>
Decoded Unit(Source* params) {
  if (params == nullptr) return Request(T{});
  const Value value = params->json.Read();
  if (value.kind == Value::Kind::Null) return Request(T{});
  return json::InvalidType(value, "unit variant Request::" + std::string(T::kName));
}

// A method with parameters: "params" must be an object.
template <typename T, size_t N>
Decoded Struct(Source* params, const FieldReader<T> (&fields)[N]) {
  if (params == nullptr) return std::string("missing field `params`");
  if (params->json.Peek() != '{') {
    return json::InvalidType(params->json.Read(),
                             "struct variant Request::" + std::string(T::kName));
  }
  T out;
  ReadResult status = ReadFields(*params, fields, out);
  if (!status) return std::move(status).error();
  return Request(std::move(out));
}

constexpr auto kRequired = Presence::Required;
constexpr auto kDefaulted = Presence::Defaulted;
constexpr auto kOptional = Presence::Optional;

// The fields of each method with parameters; the methods without any have no entry.
template <typename T>
constexpr std::nullptr_t kFields = nullptr;

template <>
constexpr FieldReader<Open> kFields<Open>[] = {
    {"dll_path", kRequired, Text<Open, &Open::dll_path>},
    {"protocol_id", kRequired, U32<Open, &Open::protocol_id>},
    {"baud_rate", kRequired, U32<Open, &Open::baud_rate>},
    {"connect_flags", kDefaulted, U32<Open, &Open::connect_flags>},
};
template <>
constexpr FieldReader<SendMessage> kFields<SendMessage>[] = {
    {"arb_id", kRequired, U32<SendMessage, &SendMessage::arb_id>},
    {"data", kRequired, Data<SendMessage, &SendMessage::data>},
    {"extended", kRequired, Flag<SendMessage, &SendMessage::extended>},
};
template <>
constexpr FieldReader<SendMessagesBatch> kFields<SendMessagesBatch>[] = {
    {"messages", kRequired, Batch<SendMessagesBatch, &SendMessagesBatch::messages>},
};
template <>
constexpr FieldReader<WriteMessagesRaw> kFields<WriteMessagesRaw>[] = {
    {"messages", kRequired, Batch<WriteMessagesRaw, &WriteMessagesRaw::messages>},
    {"timeout_ms", kRequired, U32<WriteMessagesRaw, &WriteMessagesRaw::timeout_ms>},
};
template <>
constexpr FieldReader<ReadMessages> kFields<ReadMessages>[] = {
    {"timeout_ms", kRequired, U32<ReadMessages, &ReadMessages::timeout_ms>},
    {"batch_size", kDefaulted, U32<ReadMessages, &ReadMessages::batch_size>},
    {"max_drain_reads", kDefaulted, U32<ReadMessages, &ReadMessages::max_drain_reads>},
};
template <>
constexpr FieldReader<ReadMessagesWithLoopback> kFields<ReadMessagesWithLoopback>[] = {
    {"timeout_ms", kRequired, U32<ReadMessagesWithLoopback, &ReadMessagesWithLoopback::timeout_ms>},
};
template <>
constexpr FieldReader<ReadMessagesRaw> kFields<ReadMessagesRaw>[] = {
    {"timeout_ms", kRequired, U32<ReadMessagesRaw, &ReadMessagesRaw::timeout_ms>},
    {"max_msgs", kRequired, U32<ReadMessagesRaw, &ReadMessagesRaw::max_msgs>},
};
template <>
constexpr FieldReader<FastInit> kFields<FastInit>[] = {
    {"data", kRequired, Data<FastInit, &FastInit::data>},
};
template <>
constexpr FieldReader<FiveBaudInit> kFields<FiveBaudInit>[] = {
    {"data", kRequired, Data<FiveBaudInit, &FiveBaudInit::data>},
};
template <>
constexpr FieldReader<KlineInit> kFields<KlineInit>[] = {
    {"init_mode", kRequired,
     [](Source& in, KlineInit& k) { return ReadInitMode(in, k.init_mode); }},
    {"fast_init_data", kOptional, MaybeData<KlineInit, &KlineInit::fast_init_data>},
    {"five_baud_address", kOptional, MaybeData<KlineInit, &KlineInit::five_baud_address>},
    {"cc_timeout_ms", kOptional, MaybeU32<KlineInit, &KlineInit::cc_timeout_ms>},
};
template <>
constexpr FieldReader<StartPeriodicMessage> kFields<StartPeriodicMessage>[] = {
    {"arb_id", kRequired, U32<StartPeriodicMessage, &StartPeriodicMessage::arb_id>},
    {"data", kRequired, Data<StartPeriodicMessage, &StartPeriodicMessage::data>},
    {"interval_ms", kRequired, U32<StartPeriodicMessage, &StartPeriodicMessage::interval_ms>},
    {"extended", kRequired, Flag<StartPeriodicMessage, &StartPeriodicMessage::extended>},
};
template <>
constexpr FieldReader<StopPeriodicMessage> kFields<StopPeriodicMessage>[] = {
    {"msg_id", kRequired, U32<StopPeriodicMessage, &StopPeriodicMessage::msg_id>},
};
template <>
constexpr FieldReader<AddFilter> kFields<AddFilter>[] = {
    {"filter_type", kRequired, Text<AddFilter, &AddFilter::filter_type>},
    {"mask", kRequired, Data<AddFilter, &AddFilter::mask>},
    {"pattern", kRequired, Data<AddFilter, &AddFilter::pattern>},
    {"extended", kRequired, Flag<AddFilter, &AddFilter::extended>},
    {"flow_control", kOptional, MaybeData<AddFilter, &AddFilter::flow_control>},
};
template <>
constexpr FieldReader<AddFilterRaw> kFields<AddFilterRaw>[] = {
    {"filter_type", kRequired, Text<AddFilterRaw, &AddFilterRaw::filter_type>},
    {"mask", kRequired, Data<AddFilterRaw, &AddFilterRaw::mask>},
    {"pattern", kRequired, Data<AddFilterRaw, &AddFilterRaw::pattern>},
    {"extended", kRequired, Flag<AddFilterRaw, &AddFilterRaw::extended>},
    {"flow_control", kOptional, MaybeData<AddFilterRaw, &AddFilterRaw::flow_control>},
};
template <>
constexpr FieldReader<RemoveFilter> kFields<RemoveFilter>[] = {
    {"filter_id", kRequired, U32<RemoveFilter, &RemoveFilter::filter_id>},
};
template <>
constexpr FieldReader<GetConfig> kFields<GetConfig>[] = {
    {"parameter", kRequired, U32<GetConfig, &GetConfig::parameter>},
};
template <>
constexpr FieldReader<SetConfig> kFields<SetConfig>[] = {
    {"parameter", kRequired, U32<SetConfig, &SetConfig::parameter>},
    {"value", kRequired, U32<SetConfig, &SetConfig::value>},
};
template <>
constexpr FieldReader<SetLoopback> kFields<SetLoopback>[] = {
    {"enabled", kRequired, Flag<SetLoopback, &SetLoopback::enabled>},
};

using Decoder = Decoded (*)(Source*);

// The decoder of method T: a unit method takes no "params", any other reads its fields.
template <typename T>
Decoded DecodeAs(Source* params) {
  if constexpr (std::is_empty_v<T>) {
    return Unit<T>(params);
  } else {
    return Struct(params, kFields<T>);
  }
}

// In method-number order.
constexpr std::array<Decoder, kMethodCount> kDecoders =
    PerMethod([](auto method) -> Decoder { return DecodeAs<typename decltype(method)::type>; });

}  // namespace

Result<Request, std::string> DecodeParams(size_t method, Source* params) {
  return kDecoders[method](params);
}

}  // namespace tarnix::protocol
