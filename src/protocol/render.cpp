// The one-line rendering of a request for the verbose log.
#include <cstdio>
#include <string>
#include <type_traits>

#include "protocol/json_value.h"
#include "protocol/request.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
  return buffer;
}

std::string HexBytes(const wire::Bytes& bytes) {
  std::string out = "[";
  char buffer[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02X" : " %02X", bytes[i]);
    out += buffer;
  }
  return out + "]";
}

std::string Flag(bool value) {
  return value ? "true" : "false";
}

std::string BatchList(const std::vector<wire::BatchMessage>& messages) {
  std::string out = "[";
  for (size_t i = 0; i < messages.size(); ++i) {
    if (i > 0) out += ", ";
    out += "{arbId=" + Hex(messages[i].arb_id) + " data=" + HexBytes(messages[i].data) +
           " extended=" + Flag(messages[i].extended) + "}";
  }
  return out + "]";
}

std::string ModeName(wire::KlineInitMode mode) {
  switch (mode) {
    case wire::KlineInitMode::Fast:
      return "Fast";
    case wire::KlineInitMode::Slow:
      return "Slow";
    case wire::KlineInitMode::Auto:
      return "Auto";
  }
  return "?";
}

// Appends " name=value" pairs. Texts are quoted with escapes, so the line stays one line.
class Line {
 public:
  explicit Line(std::string_view method) : out_(method) {}
  Line& Add(std::string_view name, const std::string& value) {
    out_ += ' ';
    out_ += name;
    out_ += '=';
    out_ += value;
    return *this;
  }
  Line& Number(std::string_view name, uint32_t value) { return Add(name, std::to_string(value)); }
  Line& Text(std::string_view name, const std::string& value) {
    return Add(name, json::QuoteForMessage(value));
  }
  Line& Data(std::string_view name, const std::optional<wire::Bytes>& value) {
    return Add(name, value ? HexBytes(*value) : "none");
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string MaybeNumber(const std::optional<uint32_t>& value) {
  return value ? std::to_string(*value) : "none";
}

std::string RecordText(const RecordParam& r) {
  return "{protocolId=" + MaybeNumber(r.protocol_id) + " txFlags=" + Hex(r.tx_flags) +
         " data=" + HexBytes(r.data) + "}";
}

std::string Records(const std::vector<RecordParam>& records) {
  std::string out = "[";
  for (size_t i = 0; i < records.size(); ++i) {
    out += (i > 0 ? ", " : "") + RecordText(records[i]);
  }
  return out + "]";
}

std::string Numbers(const std::vector<uint32_t>& numbers) {
  std::string out = "[";
  for (size_t i = 0; i < numbers.size(); ++i) {
    out += (i > 0 ? " " : "") + std::to_string(numbers[i]);
  }
  return out + "]";
}

std::string Entries(const std::vector<ConfigEntry>& entries) {
  std::string out = "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    out += (i > 0 ? " " : "") + std::to_string(entries[i].parameter) + "=" +
           std::to_string(entries[i].value);
  }
  return out + "]";
}

// A method's own parameters; the methods without any show none.
template <typename T>
void Params(Line&, const T&) {}

void Params(Line& l, const Open& r) {
  l.Text("dll_path", r.dll_path)
      .Add("protocol_id", MaybeNumber(r.protocol_id))
      .Add("baud_rate", MaybeNumber(r.baud_rate))
      .Add("connect_flags", Hex(r.connect_flags));
  if (r.device_name) l.Text("device_name", *r.device_name);
  if (r.j1962_pins) l.Add("j1962_pins", HexBytes(*r.j1962_pins));
}
void Params(Line& l, const SendMessage& r) {
  l.Add("arb_id", Hex(r.arb_id)).Add("data", HexBytes(r.data)).Add("extended", Flag(r.extended));
}
void Params(Line& l, const SendMessagesBatch& r) {
  l.Add("messages", BatchList(r.messages));
}
void Params(Line& l, const WriteMessagesRaw& r) {
  if (r.records) {
    l.Add("records", Records(*r.records));
  } else {
    l.Add("messages", BatchList(r.messages));
  }
  l.Number("timeout_ms", r.timeout_ms);
}
void Params(Line& l, const ReadMessages& r) {
  l.Number("timeout_ms", r.timeout_ms)
      .Number("batch_size", r.batch_size)
      .Number("max_drain_reads", r.max_drain_reads);
}
void Params(Line& l, const ReadMessagesWithLoopback& r) {
  l.Number("timeout_ms", r.timeout_ms);
}
void Params(Line& l, const ReadMessagesRaw& r) {
  l.Number("timeout_ms", r.timeout_ms).Number("max_msgs", r.max_msgs);
  if (r.as_records) l.Add("as_records", "true");
}
void Params(Line& l, const ClearBuffers& r) {
  if (r.buffer) l.Add("buffer", *r.buffer == BufferChoice::Tx ? "tx" : "rx");
}
template <typename T>
requires std::is_same_v<T, ReadBatteryVoltage> || std::is_same_v<T, ReadProgrammingVoltage>
void Params(Line& l, const T& r) {
  if (r.device) l.Add("device", "true");
}
void Params(Line& l, const FastInit& r) {
  l.Add("data", r.record ? RecordText(*r.record) : HexBytes(r.data));
  if (r.as_records) l.Add("as_records", "true");
}
void Params(Line& l, const FiveBaudInit& r) {
  l.Add("data", HexBytes(r.data));
}
void Params(Line& l, const KlineInit& r) {
  l.Add("init_mode", ModeName(r.init_mode))
      .Data("fast_init_data", r.fast_init_data)
      .Data("five_baud_address", r.five_baud_address)
      .Add("cc_timeout_ms", r.cc_timeout_ms ? std::to_string(*r.cc_timeout_ms) : "none");
}
void Params(Line& l, const StartPeriodicMessage& r) {
  if (r.record) {
    l.Add("record", RecordText(*r.record));
  } else {
    l.Add("arb_id", Hex(r.arb_id)).Add("data", HexBytes(r.data)).Add("extended", Flag(r.extended));
  }
  l.Number("interval_ms", r.interval_ms);
}
void Params(Line& l, const StopPeriodicMessage& r) {
  l.Number("msg_id", r.msg_id);
}
template <typename T>
requires std::is_same_v<T, AddFilter> || std::is_same_v<T, AddFilterRaw>
void Params(Line& l, const T& r) {
  l.Text("filter_type", r.filter_type)
      .Add("mask", HexBytes(r.mask))
      .Add("pattern", HexBytes(r.pattern))
      .Add("extended", Flag(r.extended));
  if (r.flow_control) l.Add("flow_control", HexBytes(*r.flow_control));
  if constexpr (std::is_same_v<T, AddFilterRaw>) {
    if (r.filter_number) l.Number("filter_number", *r.filter_number);
    if (r.mask_record) l.Add("mask_record", RecordText(*r.mask_record));
    if (r.pattern_record) l.Add("pattern_record", RecordText(*r.pattern_record));
    if (r.flow_control_record) l.Add("flow_control_record", RecordText(*r.flow_control_record));
  }
}
void Params(Line& l, const RemoveFilter& r) {
  l.Number("filter_id", r.filter_id);
}
void Params(Line& l, const GetConfig& r) {
  if (r.parameters) {
    l.Add("parameters", Numbers(*r.parameters));
  } else {
    l.Number("parameter", r.parameter);
  }
}
void Params(Line& l, const SetConfig& r) {
  if (r.parameters) {
    l.Add("parameters", Entries(*r.parameters));
  } else {
    l.Number("parameter", r.parameter).Number("value", r.value);
  }
}
void Params(Line& l, const SetLoopback& r) {
  l.Add("enabled", Flag(r.enabled));
}
void Params(Line& l, const SetProgrammingVoltage& r) {
  l.Number("pin", r.pin).Number("voltage", r.voltage);
}
void Params(Line& l, const ScanDevices& r) {
  l.Text("dll_path", r.dll_path);
}
void Params(Line& l, const ConnectChannel& r) {
  l.Number("protocol_id", r.protocol_id)
      .Number("baud_rate", r.baud_rate)
      .Add("connect_flags", Hex(r.connect_flags));
  if (r.j1962_pins) l.Add("j1962_pins", HexBytes(*r.j1962_pins));
  if (!r.buffered) l.Add("buffered", "false");
}
void Params(Line& l, const DisconnectChannel& r) {
  l.Number("channel", r.channel);
}
void Params(Line& l, const Ioctl& i) {
  static constexpr const char* kOutputs[] = {"none", "number", "bytes", "parameters", "record"};
  const wire::IoctlCall& r = i.call;
  l.Add("ioctl_id", Hex(r.ioctl_id));
  if (i.device) l.Add("device", "true");
  if (r.input_parameters) l.Add("input_parameters", Entries(*r.input_parameters));
  if (r.input_bytes) l.Add("input_bytes", HexBytes(*r.input_bytes));
  if (r.input_record) l.Add("input_record", RecordText(*r.input_record));
  if (r.input_number) l.Number("input_number", *r.input_number);
  l.Add("output", kOutputs[static_cast<size_t>(r.output)]);
  if (r.output_parameters) l.Add("output_parameters", Numbers(*r.output_parameters));
}

// `channel`, for the methods that act on a channel and were given one.
template <typename T>
void ChannelParam(Line& l, const T& r) {
  if constexpr (requires { r.channel.has_value(); }) {
    if (r.channel) l.Number("channel", *r.channel);
  }
}

}  // namespace

std::string RenderRequest(const Request& request) {
  Line line(MethodName(request));
  std::visit(
      [&line](const auto& r) {
        Params(line, r);
        ChannelParam(line, r);
      },
      request);
  return line.Take();
}

}  // namespace tarnix::protocol
