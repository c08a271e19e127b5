// The JSON text of a response: the envelope and every payload kind, members in their fixed order.
#include <variant>

#include "common/json_writer.h"
#include "protocol/response.h"

namespace tarnix::protocol {
namespace {

template <typename T>
void Write(JsonWriter& w, const std::vector<T>& list);

void Write(JsonWriter& w, const ReceivedMessage& m) {
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

void Write(JsonWriter& w, const DeviceInfo& d) {
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

void Write(JsonWriter& w, const KlineInitResult& k) {
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

void Write(JsonWriter& w, const Record& r) {
  w.BeginObject();
  w.Key("protocolId");
  w.Unsigned(r.protocol_id);
  w.Key("rxStatus");
  w.Unsigned(r.rx_status);
  w.Key("txFlags");
  w.Unsigned(r.tx_flags);
  w.Key("timestamp");
  w.Unsigned(r.timestamp);
  w.Key("dataSize");
  w.Unsigned(r.data_size);
  w.Key("extraDataIndex");
  w.Unsigned(r.extra_data_index);
  w.Key("data");
  w.Bytes(r.data);
  w.EndObject();
}

void Write(JsonWriter& w, const ConfigEntry& e) {
  w.BeginObject();
  w.Key("parameter");
  w.Unsigned(e.parameter);
  w.Key("value");
  w.Unsigned(e.value);
  w.EndObject();
}

void Write(JsonWriter& w, const ScannedDevice& d) {
  w.BeginObject();
  w.Key("name");
  w.String(d.name);
  const std::pair<const char*, uint32_t> fields[] = {
      {"available", d.available},          {"dllFwStatus", d.dll_fw_status},
      {"connectMedia", d.connect_media},   {"connectSpeed", d.connect_speed},
      {"signalQuality", d.signal_quality}, {"signalStrength", d.signal_strength}};
  for (const auto& [key, value] : fields) {
    w.Key(key);
    w.Unsigned(value);
  }
  w.EndObject();
}

void Write(JsonWriter& w, const ByteList& list) {
  w.Bytes(list.bytes);
}

void Write(JsonWriter& w, const RawResult& r) {
  w.BeginObject();
  w.Key("result");
  w.Signed(r.result);
  w.Key("numMsgs");
  w.Unsigned(r.num_msgs);
  if (r.records) {
    w.Key("records");
    Write(w, *r.records);
  }
  w.EndObject();
}

void Write(JsonWriter& w, const VersionInfo& v) {
  w.BeginObject();
  w.Key("firmwareVersion");
  w.String(v.firmware_version);
  w.Key("dllVersion");
  w.String(v.dll_version);
  w.Key("apiVersion");
  w.String(v.api_version);
  w.EndObject();
}

template <typename T>
void Write(JsonWriter& w, const std::vector<T>& list) {
  w.BeginArray();
  for (const T& item : list)
    Write(w, item);
  w.EndArray();
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
void Write(JsonWriter& w, Voltage voltage) {
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
    if (failure.j2534_status) {
      w.Key("j2534Status");
      w.Unsigned(*failure.j2534_status);
    }
  }
  w.EndObject();
  return w.Take();
}

}  // namespace tarnix::protocol
