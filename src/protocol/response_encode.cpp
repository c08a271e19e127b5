// The JSON text of a response: the envelope and every payload kind, members in their fixed order.
#include <variant>

#include "common/json_writer.h"
#include "protocol/response.h"
#include "wire/types.h"

namespace tarnix::protocol {
namespace {

void Write(JsonWriter& w, const wire::ReceivedMessage& m) {
  w.BeginObject();
  w.Key("timestampUs");
  w.Unsigned(m.timestamp_us);
  w.Key("arbId");
  w.Unsigned(m.arb_id);
  w.Key("extended");
  w.Bool(m.extended);
  w.Key("data");
  w.Bytes(m.data);
  w.Key("rawArbId");
  w.Unsigned(m.raw_arb_id);
  w.Key("rxStatus");
  w.Unsigned(m.rx_status);
  w.Key("dataSize");
  w.Unsigned(m.data_size);
  w.Key("protocolId");
  w.Unsigned(m.protocol_id);
  w.EndObject();
}

void Write(JsonWriter& w, const wire::DeviceInfo& d) {
  w.BeginObject();
  w.Key("name");
  w.String(d.name);
  w.Key("vendor");
  w.String(d.vendor);
  w.Key("dllPath");
  w.String(d.dll_path);
  w.Key("canIso15765");
  w.Bool(d.can_iso15765);
  w.Key("canIso11898");
  w.Bool(d.can_iso11898);
  w.Key("compatible");
  w.Bool(d.compatible);
  w.Key("bitness");
  w.Unsigned(d.bitness);
  w.Key("available");
  w.Bool(d.available);
  w.Key("unavailableReason");
  if (d.unavailable_reason) {
    w.String(*d.unavailable_reason);
  } else {
    w.Null();
  }
  w.Key("apiVersion");
  w.String(d.api_version);
  w.Key("supportedProtocols");
  w.BeginArray();
  for (const std::string& protocol : d.supported_protocols)
    w.String(protocol);
  w.EndArray();
  w.EndObject();
}

template <typename T>
void Write(JsonWriter& w, const std::vector<T>& list) {
  w.BeginArray();
  for (const T& item : list)
    Write(w, item);
  w.EndArray();
}

void Write(JsonWriter& w, const wire::KlineInitResult& k) {
  w.BeginObject();
  w.Key("initMethod");
  w.String(k.init_method);
  w.Key("detectedProtocol");
  w.String(k.detected_protocol);
  w.Key("keywordBytes");
  w.Bytes(k.keyword_bytes);
  w.Key("ccReceived");
  w.Bool(k.cc_received);
  w.Key("initResponse");
  Write(w, k.init_response);
  w.EndObject();
}

void Write(JsonWriter& w, const wire::RawResult& r) {
  w.BeginObject();
  w.Key("result");
  w.Signed(r.result);
  w.Key("numMsgs");
  w.Unsigned(r.num_msgs);
  w.EndObject();
}

void Write(JsonWriter& w, const wire::VersionInfo& v) {
  w.BeginObject();
  w.Key("firmwareVersion");
  w.String(v.firmware_version);
  w.Key("dllVersion");
  w.String(v.dll_version);
  w.Key("apiVersion");
  w.String(v.api_version);
  w.EndObject();
}

void Write(JsonWriter& w, std::monostate) {
  w.Null();
}
void Write(JsonWriter& w, const std::string& text) {
  w.String(text);
}
void Write(JsonWriter& w, uint32_t number) {
  w.Unsigned(number);
}
void Write(JsonWriter& w, bool flag) {
  w.Bool(flag);
}
void Write(JsonWriter& w, wire::Voltage voltage) {
  w.Double(voltage.volts);
}

}  // namespace

std::string EncodeResponse(const Response& response) {
  JsonWriter w;
  w.BeginObject();
  w.Key("id");
  w.Unsigned(response.id);
  if (const auto* payload = std::get_if<Payload>(&response.outcome)) {
    w.Key("status");
    w.String("ok");
    w.Key("data");
    std::visit([&w](const auto& value) { Write(w, value); }, *payload);
  } else {
    const auto& failure = std::get<Failure>(response.outcome);
    w.Key("status");
    w.String("error");
    w.Key("code");
    w.Signed(failure.code);
    w.Key("message");
    w.String(failure.message);
  }
  w.EndObject();
  return w.Take();
}

}  // namespace tarnix::protocol
