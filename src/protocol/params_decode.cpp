// The parameters of each method: names, presence rules and value types.
#include "protocol/params_decode.h"

#include <array>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>

#include "protocol/member_readers.h"

namespace tarnix::protocol {
namespace {

using json::Value;
using Decoded = Result<Request, std::string>;
using namespace members;  // NOLINT: the field tables below are made of them

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

// The fields of each method with parameters; the methods without any have no entry.
template <typename T>
constexpr std::nullptr_t kFields = nullptr;

template <>
constexpr FieldReader<Open> kFields<Open>[] = {
    {"dll_path", kRequired, Text<Open, &Open::dll_path>},
    {"protocol_id", kPaired, MaybeU32<Open, &Open::protocol_id>, "baud_rate"},
    {"baud_rate", kPaired, MaybeU32<Open, &Open::baud_rate>, "protocol_id"},
    {"connect_flags", kDefaulted, U32<Open, &Open::connect_flags>},
    {"device_name", kOptional,
     [](Source& in, Open& o) { return ReadText(in, o.device_name.emplace()); }},
    {"j1962_pins", kOptional, MaybeData<Open, &Open::j1962_pins>},
};
template <>
constexpr FieldReader<SendMessage> kFields<SendMessage>[] = {
    {"arb_id", kRequired, U32<SendMessage, &SendMessage::arb_id>},
    {"data", kRequired, Data<SendMessage, &SendMessage::data>},
    {"extended", kRequired, Flag<SendMessage, &SendMessage::extended>},
    kChannel<SendMessage>,
};
template <>
constexpr FieldReader<SendMessagesBatch> kFields<SendMessagesBatch>[] = {
    {"messages", kRequired, Batch<SendMessagesBatch, &SendMessagesBatch::messages>},
    kChannel<SendMessagesBatch>,
};
template <>
constexpr FieldReader<WriteMessagesRaw> kFields<WriteMessagesRaw>[] = {
    {"messages", kUnless, Batch<WriteMessagesRaw, &WriteMessagesRaw::messages>, "records"},
    {"timeout_ms", kRequired, U32<WriteMessagesRaw, &WriteMessagesRaw::timeout_ms>},
    {"records", kOptional,
     [](Source& in, WriteMessagesRaw& w) { return ReadRecordParams(in, w.records.emplace()); }},
    kChannel<WriteMessagesRaw>,
};
template <>
constexpr FieldReader<ReadMessages> kFields<ReadMessages>[] = {
    {"timeout_ms", kRequired, U32<ReadMessages, &ReadMessages::timeout_ms>},
    {"batch_size", kDefaulted, U32<ReadMessages, &ReadMessages::batch_size>},
    {"max_drain_reads", kDefaulted, U32<ReadMessages, &ReadMessages::max_drain_reads>},
    kChannel<ReadMessages>,
};
template <>
constexpr FieldReader<ReadMessagesWithLoopback> kFields<ReadMessagesWithLoopback>[] = {
    {"timeout_ms", kRequired, U32<ReadMessagesWithLoopback, &ReadMessagesWithLoopback::timeout_ms>},
    kChannel<ReadMessagesWithLoopback>,
};
template <>
constexpr FieldReader<ReadMessagesRaw> kFields<ReadMessagesRaw>[] = {
    {"timeout_ms", kRequired, U32<ReadMessagesRaw, &ReadMessagesRaw::timeout_ms>},
    {"max_msgs", kRequired, U32<ReadMessagesRaw, &ReadMessagesRaw::max_msgs>},
    {"as_records", kDefaulted, Flag<ReadMessagesRaw, &ReadMessagesRaw::as_records>},
    kChannel<ReadMessagesRaw>,
};
template <>
constexpr FieldReader<ClearBuffers> kFields<ClearBuffers>[] = {
    {"buffer", kOptional,
     [](Source& in, ClearBuffers& c) { return ReadBufferChoice(in, c.buffer.emplace()); }},
    kChannel<ClearBuffers>,
};
template <>
constexpr FieldReader<ReadBatteryVoltage> kFields<ReadBatteryVoltage>[] = {
    {"device", kDefaulted, Flag<ReadBatteryVoltage, &ReadBatteryVoltage::device>},
    kChannel<ReadBatteryVoltage>,
};
template <>
constexpr FieldReader<ReadProgrammingVoltage> kFields<ReadProgrammingVoltage>[] = {
    {"device", kDefaulted, Flag<ReadProgrammingVoltage, &ReadProgrammingVoltage::device>},
    kChannel<ReadProgrammingVoltage>,
};
template <>
constexpr FieldReader<FastInit> kFields<FastInit>[] = {
    {"data", kUnless, Data<FastInit, &FastInit::data>, "record"},
    {"record", kOptional, MaybeRecord<FastInit, &FastInit::record>},
    {"as_records", kDefaulted, Flag<FastInit, &FastInit::as_records>},
    kChannel<FastInit>,
};
template <>
constexpr FieldReader<FiveBaudInit> kFields<FiveBaudInit>[] = {
    {"data", kRequired, Data<FiveBaudInit, &FiveBaudInit::data>},
    kChannel<FiveBaudInit>,
};
template <>
constexpr FieldReader<KlineInit> kFields<KlineInit>[] = {
    {"init_mode", kRequired,
     [](Source& in, KlineInit& k) { return ReadInitMode(in, k.init_mode); }},
    {"fast_init_data", kOptional, MaybeData<KlineInit, &KlineInit::fast_init_data>},
    {"five_baud_address", kOptional, MaybeData<KlineInit, &KlineInit::five_baud_address>},
    {"cc_timeout_ms", kOptional, MaybeU32<KlineInit, &KlineInit::cc_timeout_ms>},
    kChannel<KlineInit>,
};
template <>
constexpr FieldReader<StartPeriodicMessage> kFields<StartPeriodicMessage>[] = {
    {"arb_id", kUnless, U32<StartPeriodicMessage, &StartPeriodicMessage::arb_id>, "record"},
    {"data", kUnless, Data<StartPeriodicMessage, &StartPeriodicMessage::data>, "record"},
    {"interval_ms", kRequired, U32<StartPeriodicMessage, &StartPeriodicMessage::interval_ms>},
    {"extended", kUnless, Flag<StartPeriodicMessage, &StartPeriodicMessage::extended>, "record"},
    {"record", kOptional, MaybeRecord<StartPeriodicMessage, &StartPeriodicMessage::record>},
    kChannel<StartPeriodicMessage>,
};
template <>
constexpr FieldReader<StopPeriodicMessage> kFields<StopPeriodicMessage>[] = {
    {"msg_id", kRequired, U32<StopPeriodicMessage, &StopPeriodicMessage::msg_id>},
    kChannel<StopPeriodicMessage>,
};
template <>
constexpr FieldReader<ClearPeriodicMessages> kFields<ClearPeriodicMessages>[] = {
    kChannel<ClearPeriodicMessages>,
};
template <>
constexpr FieldReader<AddFilter> kFields<AddFilter>[] = {
    {"filter_type", kRequired, Text<AddFilter, &AddFilter::filter_type>},
    {"mask", kRequired, Data<AddFilter, &AddFilter::mask>},
    {"pattern", kRequired, Data<AddFilter, &AddFilter::pattern>},
    {"extended", kRequired, Flag<AddFilter, &AddFilter::extended>},
    {"flow_control", kOptional, MaybeData<AddFilter, &AddFilter::flow_control>},
    kChannel<AddFilter>,
};
template <>
constexpr FieldReader<AddFilterRaw> kFields<AddFilterRaw>[] = {
    {"filter_type", kRequired,
     [](Source& in, AddFilterRaw& f) {
       return ReadFilterType(in, f.filter_type, f.filter_number);
     }},
    {"mask", kUnless, Data<AddFilterRaw, &AddFilterRaw::mask>, "mask_record"},
    {"pattern", kUnless, Data<AddFilterRaw, &AddFilterRaw::pattern>, "pattern_record"},
    {"extended", kUnless, Flag<AddFilterRaw, &AddFilterRaw::extended>, "mask_record"},
    {"flow_control", kOptional, MaybeData<AddFilterRaw, &AddFilterRaw::flow_control>},
    {"mask_record", kOptional, MaybeRecord<AddFilterRaw, &AddFilterRaw::mask_record>},
    {"pattern_record", kOptional, MaybeRecord<AddFilterRaw, &AddFilterRaw::pattern_record>},
    {"flow_control_record", kOptional,
     MaybeRecord<AddFilterRaw, &AddFilterRaw::flow_control_record>},
    kChannel<AddFilterRaw>,
};
template <>
constexpr FieldReader<RemoveFilter> kFields<RemoveFilter>[] = {
    {"filter_id", kRequired, U32<RemoveFilter, &RemoveFilter::filter_id>},
    kChannel<RemoveFilter>,
};
template <>
constexpr FieldReader<ClearFilters> kFields<ClearFilters>[] = {
    kChannel<ClearFilters>,
};
template <>
constexpr FieldReader<GetConfig> kFields<GetConfig>[] = {
    {"parameter", kUnless, U32<GetConfig, &GetConfig::parameter>, "parameters"},
    {"parameters", kOptional,
     [](Source& in, GetConfig& g) { return ReadU32List(in, g.parameters.emplace()); }},
    kChannel<GetConfig>,
};
template <>
constexpr FieldReader<SetConfig> kFields<SetConfig>[] = {
    {"parameter", kUnless, U32<SetConfig, &SetConfig::parameter>, "parameters"},
    {"value", kUnless, U32<SetConfig, &SetConfig::value>, "parameters"},
    {"parameters", kOptional,
     [](Source& in, SetConfig& s) { return ReadConfigEntries(in, s.parameters.emplace()); }},
    kChannel<SetConfig>,
};
template <>
constexpr FieldReader<GetLoopback> kFields<GetLoopback>[] = {
    kChannel<GetLoopback>,
};
template <>
constexpr FieldReader<SetLoopback> kFields<SetLoopback>[] = {
    {"enabled", kRequired, Flag<SetLoopback, &SetLoopback::enabled>},
    kChannel<SetLoopback>,
};
template <>
constexpr FieldReader<GetDataRate> kFields<GetDataRate>[] = {
    kChannel<GetDataRate>,
};
template <>
constexpr FieldReader<SetProgrammingVoltage> kFields<SetProgrammingVoltage>[] = {
    {"pin", kRequired, U32<SetProgrammingVoltage, &SetProgrammingVoltage::pin>},
    {"voltage", kRequired,
     [](Source& in, SetProgrammingVoltage& s) { return ReadVoltage(in, s.voltage); }},
};
template <>
constexpr FieldReader<ScanDevices> kFields<ScanDevices>[] = {
    {"dll_path", kRequired, Text<ScanDevices, &ScanDevices::dll_path>},
};
template <>
constexpr FieldReader<ConnectChannel> kFields<ConnectChannel>[] = {
    {"protocol_id", kRequired, U32<ConnectChannel, &ConnectChannel::protocol_id>},
    {"baud_rate", kRequired, U32<ConnectChannel, &ConnectChannel::baud_rate>},
    {"connect_flags", kDefaulted, U32<ConnectChannel, &ConnectChannel::connect_flags>},
    {"j1962_pins", kOptional, MaybeData<ConnectChannel, &ConnectChannel::j1962_pins>},
    {"buffered", kDefaulted, Flag<ConnectChannel, &ConnectChannel::buffered>},
};
template <>
constexpr FieldReader<DisconnectChannel> kFields<DisconnectChannel>[] = {
    {"channel", kRequired, U32<DisconnectChannel, &DisconnectChannel::channel>},
};
template <>
constexpr FieldReader<Ioctl> kFields<Ioctl>[] = {
    {"ioctl_id", kRequired,
     [](Source& in, Ioctl& i) { return U32<IoctlCall, &IoctlCall::ioctl_id>(in, i.call); }},
    {"device", kDefaulted, Flag<Ioctl, &Ioctl::device>},
    {"input_parameters", kOptional,
     [](Source& in, Ioctl& i) { return ReadConfigEntries(in, i.call.input_parameters.emplace()); }},
    {"input_bytes", kOptional,
     [](Source& in, Ioctl& i) {
       return MaybeData<IoctlCall, &IoctlCall::input_bytes>(in, i.call);
     }},
    {"input_record", kOptional,
     [](Source& in, Ioctl& i) {
       return MaybeRecord<IoctlCall, &IoctlCall::input_record>(in, i.call);
     }},
    {"input_number", kOptional,
     [](Source& in, Ioctl& i) {
       return MaybeU32<IoctlCall, &IoctlCall::input_number>(in, i.call);
     }},
    {"output", kDefaulted, [](Source& in, Ioctl& i) { return ReadIoctlOutput(in, i.call.output); }},
    {"output_parameters", kOptional,
     [](Source& in, Ioctl& i) { return ReadU32List(in, i.call.output_parameters.emplace()); }},
    kChannel<Ioctl>,
};

using Decoder = Decoded (*)(Source*);

// Whether every field may be left out: "params" may then be left out too.
template <typename T, size_t N>
constexpr bool AllOptional(const FieldReader<T> (&fields)[N]) {
  for (const FieldReader<T>& field : fields) {
    if (field.presence == kRequired || field.presence == kUnless) return false;
  }
  return true;
}

// The decoder of method T: a unit method takes no "params", any other reads its fields (from no
// "params" or null as from an empty object, when all of them are optional).
template <typename T>
Decoded DecodeAs(Source* params) {
  if constexpr (std::is_empty_v<T>) {
    return Unit<T>(params);
  } else if constexpr (AllOptional(kFields<T>)) {
    if (params == nullptr) return Request(T{});
    if (params->json.Peek() == 'n') {
      params->json.Skip();
      return Request(T{});
    }
    return Struct(params, kFields<T>);
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
