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

template <typename T>
requires std::is_empty_v<T>
void Params(Line&, const T&) {}

void Params(Line& l, const Open& r) {
  l.Text("dll_path", r.dll_path)
      .Number("protocol_id", r.protocol_id)
      .Number("baud_rate", r.baud_rate)
      .Add("connect_flags", Hex(r.connect_flags));
}
void Params(Line& l, const SendMessage& r) {
  l.Add("arb_id", Hex(r.arb_id)).Add("data", HexBytes(r.data)).Add("extended", Flag(r.extended));
}
void Params(Line& l, const SendMessagesBatch& r) {
  l.Add("messages", BatchList(r.messages));
}
void Params(Line& l, const WriteMessagesRaw& r) {
  l.Add("messages", BatchList(r.messages)).Number("timeout_ms", r.timeout_ms);
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
}
void Params(Line& l, const FastInit& r) {
  l.Add("data", HexBytes(r.data));
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
  l.Add("arb_id", Hex(r.arb_id))
      .Add("data", HexBytes(r.data))
      .Number("interval_ms", r.interval_ms)
      .Add("extended", Flag(r.extended));
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
}
void Params(Line& l, const RemoveFilter& r) {
  l.Number("filter_id", r.filter_id);
}
void Params(Line& l, const GetConfig& r) {
  l.Number("parameter", r.parameter);
}
void Params(Line& l, const SetConfig& r) {
  l.Number("parameter", r.parameter).Number("value", r.value);
}
void Params(Line& l, const SetLoopback& r) {
  l.Add("enabled", Flag(r.enabled));
}

}  // namespace

std::string RenderRequest(const Request& request) {
  Line line(MethodName(request));
  std::visit([&line](const auto& r) { Params(line, r); }, request);
  return line.Take();
}

}  // namespace tarnix::protocol
