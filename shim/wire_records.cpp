// Records to and from the wire's record form, statuses of error answers, texts cut to their room.
#include "shim/wire_records.h"

#include <cstring>

namespace tarnix::shim {

using protocol::json::Reader;
using protocol::json::Value;

void WriteRecord(JsonWriter& out, const PassThruMsg0404& message) {
  out.BeginObject();
  out.Key("protocolId");
  out.Unsigned(message.ProtocolID);
  out.Key("rxStatus");
  out.Unsigned(message.RxStatus);
  out.Key("txFlags");
  out.Unsigned(message.TxFlags);
  out.Key("timestamp");
  out.Unsigned(message.Timestamp);
  out.Key("extraDataIndex");
  out.Unsigned(message.ExtraDataIndex);
  out.Key("data");
  out.BeginArray();
  for (uint32_t i = 0; i < message.DataSize; ++i)
    out.Unsigned(message.Data[i]);
  out.EndArray();
  out.EndObject();
}

std::optional<uint32_t> ReadU32(Reader& in) {
  const Value value = in.Read();
  if (value.kind != Value::Kind::Unsigned || value.unsigned_value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value.unsigned_value);
}

namespace {

// The data bytes at the cursor into `message`; their number, or nullopt when they are no bytes or
// more than Data holds.
std::optional<uint32_t> ReadData(Reader& in, PassThruMsg0404& message) {
  if (in.Peek() != '[' || !in.Enter()) return std::nullopt;
  uint32_t count = 0;
  while (in.NextElement()) {
    const std::optional<uint32_t> byte = ReadU32(in);
    if (!byte || *byte > 0xFF || count == kMaxDataSize) return std::nullopt;
    message.Data[count++] = static_cast<uint8_t>(*byte);
  }
  if (in.failed()) return std::nullopt;
  return count;
}

// The field of the record member `name`, or nullptr for a member the record does not hold.
uint32_t* Field(std::string_view name, PassThruMsg0404& message) {
  if (name == "protocolId") return &message.ProtocolID;
  if (name == "rxStatus") return &message.RxStatus;
  if (name == "txFlags") return &message.TxFlags;
  if (name == "timestamp") return &message.Timestamp;
  if (name == "extraDataIndex") return &message.ExtraDataIndex;
  return nullptr;
}

}  // namespace

bool ReadRecord(Reader& in, PassThruMsg0404& message) {
  if (in.Peek() != '{' || !in.Enter()) return false;
  std::optional<uint32_t> stated;
  std::optional<uint32_t> count;
  std::string_view name;
  while (in.NextName(name) && in.Colon()) {
    if (name == "data") {
      if (!(count = ReadData(in, message))) return false;
    } else if (name == "dataSize") {
      if (!(stated = ReadU32(in))) return false;
    } else if (uint32_t* field = Field(name, message)) {
      const std::optional<uint32_t> value = ReadU32(in);
      if (!value) return false;
      *field = *value;
    } else {
      in.Skip();
    }
  }
  if (in.failed() || !count) return false;
  message.DataSize = stated.value_or(*count);
  return message.DataSize <= kMaxDataSize;
}

uint32_t StatusOfError(std::optional<uint32_t> j2534_status) {
  // A status of 0 on an error would tell the application that the call worked.
  if (!j2534_status || *j2534_status == kStatusNoError) return kErrFailed;
  return *j2534_status;
}

void CopyText(std::string_view text, char* out) {
  size_t size = std::min(text.size(), kTextRoom - 1);
  // Back to the start of a UTF-8 sequence when the cut falls inside one.
  if (size < text.size()) {
    while (size > 0 && (static_cast<uint8_t>(text[size]) & 0xC0) == 0x80)
      --size;
  }
  std::memcpy(out, text.data(), size);
  out[size] = '\0';
}

}  // namespace tarnix::shim
