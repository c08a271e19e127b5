// The parameters of each of the 30 methods: names, presence rules and value types.
#include "protocol/params_decode.h"

#include <optional>
#include <utility>

#include "protocol/value_decode.h"

namespace tarnix::protocol {
namespace {

using json::Value;
using Decoded = Result<Request, std::string>;

// Readers that store into one member of a parameter struct.
template <typename T, uint32_t T::*M>
Status U32(const Value& v, T& out) {
  return ReadU32(v, out.*M);
}
template <typename T, bool T::*M>
Status Flag(const Value& v, T& out) {
  return ReadBool(v, out.*M);
}
template <typename T, std::string T::*M>
Status Text(const Value& v, T& out) {
  return ReadText(v, out.*M);
}
template <typename T, Bytes T::*M>
Status Data(const Value& v, T& out) {
  return ReadBytes(v, out.*M);
}
template <typename T, std::vector<BatchMessage> T::*M>
Status Batch(const Value& v, T& out) {
  return ReadBatchMessages(v, out.*M);
}
template <typename T, std::optional<Bytes> T::*M>
Status MaybeData(const Value& v, T& out) {
  return ReadBytes(v, (out.*M).emplace());
}
template <typename T, std::optional<uint32_t> T::*M>
Status MaybeU32(const Value& v, T& out) {
  return ReadU32(v, (out.*M).emplace());
}

template <typename T>
std::string NameOf() {
  return std::string(MethodName(Request(std::in_place_type<T>).index()));
}

// A method without parameters: "params" may be absent or null.
template <typename T>
Decoded Unit(const Value* params) {
  if (params == nullptr || params->kind == Value::Kind::Null) return Request(T{});
  return json::InvalidType(*params, "unit variant Request::" + NameOf<T>());
}

// A method with parameters: "params" must be an object.
template <typename T, size_t N>
Decoded Struct(const Value* params, const Field<T> (&fields)[N]) {
  if (params == nullptr) return std::string("missing field `params`");
  if (params->kind != Value::Kind::Object) {
    return json::InvalidType(*params, "struct variant Request::" + NameOf<T>());
  }
  T out;
  Status status = ReadFields(*params, fields, out);
  if (!status) return std::move(status).error();
  return Request(std::move(out));
}

constexpr auto kRequired = Presence::Required;
constexpr auto kDefaulted = Presence::Defaulted;
constexpr auto kOptional = Presence::Optional;

constexpr Field<Open> kOpen[] = {
    {"dll_path", kRequired, Text<Open, &Open::dll_path>},
    {"protocol_id", kRequired, U32<Open, &Open::protocol_id>},
    {"baud_rate", kRequired, U32<Open, &Open::baud_rate>},
    {"connect_flags", kDefaulted, U32<Open, &Open::connect_flags>},
};
constexpr Field<SendMessage> kSendMessage[] = {
    {"arb_id", kRequired, U32<SendMessage, &SendMessage::arb_id>},
    {"data", kRequired, Data<SendMessage, &SendMessage::data>},
    {"extended", kRequired, Flag<SendMessage, &SendMessage::extended>},
};
constexpr Field<SendMessagesBatch> kSendMessagesBatch[] = {
    {"messages", kRequired, Batch<SendMessagesBatch, &SendMessagesBatch::messages>},
};
constexpr Field<WriteMessagesRaw> kWriteMessagesRaw[] = {
    {"messages", kRequired, Batch<WriteMessagesRaw, &WriteMessagesRaw::messages>},
    {"timeout_ms", kRequired, U32<WriteMessagesRaw, &WriteMessagesRaw::timeout_ms>},
};
constexpr Field<ReadMessages> kReadMessages[] = {
    {"timeout_ms", kRequired, U32<ReadMessages, &ReadMessages::timeout_ms>},
    {"batch_size", kDefaulted, U32<ReadMessages, &ReadMessages::batch_size>},
    {"max_drain_reads", kDefaulted, U32<ReadMessages, &ReadMessages::max_drain_reads>},
};
constexpr Field<ReadMessagesWithLoopback> kReadMessagesWithLoopback[] = {
    {"timeout_ms", kRequired, U32<ReadMessagesWithLoopback, &ReadMessagesWithLoopback::timeout_ms>},
};
constexpr Field<ReadMessagesRaw> kReadMessagesRaw[] = {
    {"timeout_ms", kRequired, U32<ReadMessagesRaw, &ReadMessagesRaw::timeout_ms>},
    {"max_msgs", kRequired, U32<ReadMessagesRaw, &ReadMessagesRaw::max_msgs>},
};
constexpr Field<FastInit> kFastInit[] = {
    {"data", kRequired, Data<FastInit, &FastInit::data>},
};
constexpr Field<FiveBaudInit> kFiveBaudInit[] = {
    {"data", kRequired, Data<FiveBaudInit, &FiveBaudInit::data>},
};
constexpr Field<KlineInit> kKlineInit[] = {
    {"init_mode", kRequired,
     [](const Value& v, KlineInit& k) { return ReadInitMode(v, k.init_mode); }},
    {"fast_init_data", kOptional, MaybeData<KlineInit, &KlineInit::fast_init_data>},
    {"five_baud_address", kOptional, MaybeData<KlineInit, &KlineInit::five_baud_address>},
    {"cc_timeout_ms", kOptional, MaybeU32<KlineInit, &KlineInit::cc_timeout_ms>},
};
constexpr Field<StartPeriodicMessage> kStartPeriodicMessage[] = {
    {"arb_id", kRequired, U32<StartPeriodicMessage, &StartPeriodicMessage::arb_id>},
    {"data", kRequired, Data<StartPeriodicMessage, &StartPeriodicMessage::data>},
    {"interval_ms", kRequired, U32<StartPeriodicMessage, &StartPeriodicMessage::interval_ms>},
    {"extended", kRequired, Flag<StartPeriodicMessage, &StartPeriodicMessage::extended>},
};
constexpr Field<StopPeriodicMessage> kStopPeriodicMessage[] = {
    {"msg_id", kRequired, U32<StopPeriodicMessage, &StopPeriodicMessage::msg_id>},
};
constexpr Field<AddFilter> kAddFilter[] = {
    {"filter_type", kRequired, Text<AddFilter, &AddFilter::filter_type>},
    {"mask", kRequired, Data<AddFilter, &AddFilter::mask>},
    {"pattern", kRequired, Data<AddFilter, &AddFilter::pattern>},
    {"extended", kRequired, Flag<AddFilter, &AddFilter::extended>},
};
constexpr Field<AddFilterRaw> kAddFilterRaw[] = {
    {"filter_type", kRequired, Text<AddFilterRaw, &AddFilterRaw::filter_type>},
    {"mask", kRequired, Data<AddFilterRaw, &AddFilterRaw::mask>},
    {"pattern", kRequired, Data<AddFilterRaw, &AddFilterRaw::pattern>},
    {"extended", kRequired, Flag<AddFilterRaw, &AddFilterRaw::extended>},
};
constexpr Field<RemoveFilter> kRemoveFilter[] = {
    {"filter_id", kRequired, U32<RemoveFilter, &RemoveFilter::filter_id>},
};
constexpr Field<GetConfig> kGetConfig[] = {
    {"parameter", kRequired, U32<GetConfig, &GetConfig::parameter>},
};
constexpr Field<SetConfig> kSetConfig[] = {
    {"parameter", kRequired, U32<SetConfig, &SetConfig::parameter>},
    {"value", kRequired, U32<SetConfig, &SetConfig::value>},
};
constexpr Field<SetLoopback> kSetLoopback[] = {
    {"enabled", kRequired, Flag<SetLoopback, &SetLoopback::enabled>},
};

using Decoder = Decoded (*)(const Value*);

// In method-number order, like the alternatives of Request.
constexpr Decoder kDecoders[] = {
    Unit<EnumerateDevices>,
    [](const Value* p) { return Struct(p, kOpen); },
    Unit<Close>,
    [](const Value* p) { return Struct(p, kSendMessage); },
    [](const Value* p) { return Struct(p, kSendMessagesBatch); },
    [](const Value* p) { return Struct(p, kWriteMessagesRaw); },
    [](const Value* p) { return Struct(p, kReadMessages); },
    [](const Value* p) { return Struct(p, kReadMessagesWithLoopback); },
    [](const Value* p) { return Struct(p, kReadMessagesRaw); },
    Unit<ClearBuffers>,
    Unit<ReadVersion>,
    Unit<GetLastError>,
    Unit<ReadBatteryVoltage>,
    Unit<ReadProgrammingVoltage>,
    [](const Value* p) { return Struct(p, kFastInit); },
    [](const Value* p) { return Struct(p, kFiveBaudInit); },
    [](const Value* p) { return Struct(p, kKlineInit); },
    [](const Value* p) { return Struct(p, kStartPeriodicMessage); },
    [](const Value* p) { return Struct(p, kStopPeriodicMessage); },
    Unit<ClearPeriodicMessages>,
    [](const Value* p) { return Struct(p, kAddFilter); },
    [](const Value* p) { return Struct(p, kAddFilterRaw); },
    [](const Value* p) { return Struct(p, kRemoveFilter); },
    Unit<ClearFilters>,
    [](const Value* p) { return Struct(p, kGetConfig); },
    [](const Value* p) { return Struct(p, kSetConfig); },
    Unit<GetLoopback>,
    [](const Value* p) { return Struct(p, kSetLoopback); },
    Unit<GetDataRate>,
    Unit<Shutdown>,
};
static_assert(std::size(kDecoders) == kMethodCount);

}  // namespace

Result<Request, std::string> DecodeParams(size_t method, const json::Value* params) {
  return kDecoders[method](params);
}

}  // namespace tarnix::protocol
