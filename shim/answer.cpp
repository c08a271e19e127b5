// Reading the bridge's answers with the protocol module's reader: the envelope, then the data.
#include "shim/answer.h"

#include <cmath>

#include "protocol/json_reader.h"
#include "shim/wire_records.h"

namespace tarnix::shim {

using protocol::json::Reader;
using protocol::json::Value;

namespace {

// A reader at the start of `data`'s value.
Reader At(std::string_view data) {
  Reader in(data);
  in.SkipBlanks();
  return in;
}

// Whether the reader stopped exactly at the end of the text, without failing.
bool Done(Reader& in) {
  in.SkipBlanks();
  return !in.failed() && in.pos() == in.text().size();
}

// Calls `element` with the reader at each element of the array at its cursor; false when the
// value is no array or `element` refuses one.
template <typename Element>
bool EachElement(Reader& in, Element&& element) {
  if (in.Peek() != '[' || !in.Enter()) return false;
  while (in.NextElement()) {
    if (!element(in)) return false;
  }
  return !in.failed();
}

// Calls `member` with each member's name and the reader at its value; false when the value is no
// object or `member` refuses one.
template <typename Member>
bool EachMember(Reader& in, Member&& member) {
  if (in.Peek() != '{' || !in.Enter()) return false;
  std::string_view name;
  while (in.NextName(name) && in.Colon()) {
    if (!member(name, in)) return false;
  }
  return !in.failed();
}

std::optional<std::string> ReadString(Reader& in) {
  const Value value = in.Read();
  if (value.kind != Value::Kind::String) return std::nullopt;
  return std::string(value.text);
}

}  // namespace

std::optional<Answer> ReadAnswer(std::string_view line) {
  Reader in = At(line);
  Answer answer;
  std::optional<std::string> status;
  bool has_id = false;
  bool has_data = false;
  const bool read = EachMember(in, [&](std::string_view name, Reader& at) {
    if (name == "id") {
      const Value id = at.Read();
      answer.id = id.unsigned_value;
      return has_id = id.kind == Value::Kind::Unsigned;
    }
    if (name == "status") return (status = ReadString(at)).has_value();
    if (name == "message") {
      std::optional<std::string> message = ReadString(at);
      if (message) answer.message = std::move(*message);
      return message.has_value();
    }
    if (name == "j2534Status") return (answer.j2534_status = ReadU32(at)).has_value();
    if (name == "data") {
      const size_t start = at.pos();
      at.Skip();
      answer.data = at.text().substr(start, at.pos() - start);
      has_data = true;
      return true;
    }
    at.Skip();
    return true;
  });
  if (!read || !Done(in) || !has_id || !status) return std::nullopt;
  answer.ok = *status == "ok";
  if (answer.ok ? !has_data : *status != "error") return std::nullopt;
  return answer;
}

std::optional<uint32_t> ReadNumberData(std::string_view data) {
  Reader in = At(data);
  const std::optional<uint32_t> number = ReadU32(in);
  return Done(in) ? number : std::nullopt;
}

std::optional<uint32_t> ReadMillivoltsData(std::string_view data) {
  Reader in = At(data);
  const Value value = in.Read();
  if (!Done(in)) return std::nullopt;
  double volts = value.float_value;
  if (value.kind == Value::Kind::Unsigned) volts = static_cast<double>(value.unsigned_value);
  if (value.kind != Value::Kind::Float && value.kind != Value::Kind::Unsigned) return std::nullopt;
  const double millivolts = std::round(volts * 1000.0);
  if (!(millivolts >= 0 && millivolts <= UINT32_MAX)) return std::nullopt;
  return static_cast<uint32_t>(millivolts);
}

std::optional<std::string> ReadTextData(std::string_view data) {
  Reader in = At(data);
  std::optional<std::string> text = ReadString(in);
  return Done(in) ? text : std::nullopt;
}

std::optional<std::vector<uint8_t>> ReadBytesData(std::string_view data) {
  Reader in = At(data);
  std::vector<uint8_t> bytes;
  const bool read = EachElement(in, [&](Reader& at) {
    const std::optional<uint32_t> byte = ReadU32(at);
    if (byte && *byte <= 0xFF) bytes.push_back(static_cast<uint8_t>(*byte));
    return byte && *byte <= 0xFF;
  });
  if (!read || !Done(in)) return std::nullopt;
  return bytes;
}

std::optional<Versions> ReadVersionsData(std::string_view data) {
  Reader in = At(data);
  Versions versions;
  int found = 0;
  const bool read = EachMember(in, [&](std::string_view name, Reader& at) {
    std::string* text = name == "firmwareVersion" ? &versions.firmware
                        : name == "dllVersion"    ? &versions.library
                        : name == "apiVersion"    ? &versions.api
                                                  : nullptr;
    if (text == nullptr) {
      at.Skip();
      return true;
    }
    std::optional<std::string> value = ReadString(at);
    if (value) *text = std::move(*value), ++found;
    return value.has_value();
  });
  if (!read || !Done(in) || found != 3) return std::nullopt;
  return versions;
}

std::optional<uint32_t> ReadRecordsData(std::string_view data, PassThruMsg0404* records,
                                        uint32_t room) {
  Reader in = At(data);
  uint32_t given = 0;
  PassThruMsg0404 spare;  // records beyond the room are read, and counted, here
  const bool read = EachElement(in, [&](Reader& at) {
    PassThruMsg0404& into = given < room ? records[given] : spare;
    ++given;
    return ReadRecord(at, into);
  });
  if (!read || !Done(in)) return std::nullopt;
  return given;
}

std::optional<RawResult> ReadRawResultData(std::string_view data, PassThruMsg0404* records,
                                           uint32_t room) {
  Reader in = At(data);
  RawResult raw;
  std::optional<uint32_t> result, num_msgs;
  const bool read = EachMember(in, [&](std::string_view name, Reader& at) {
    if (name == "result") return (result = ReadU32(at)).has_value();
    if (name == "numMsgs") return (num_msgs = ReadU32(at)).has_value();
    if (name != "records") return at.Skip(), true;
    const size_t start = at.pos();
    at.Skip();
    const std::optional<uint32_t> given =
        ReadRecordsData(at.text().substr(start, at.pos() - start), records, room);
    raw.filled = std::min(given.value_or(0), room);
    return given.has_value();
  });
  if (!read || !Done(in) || !result || !num_msgs) return std::nullopt;
  raw.result = *result;
  raw.num_msgs = *num_msgs;
  return raw;
}

bool ReadParametersData(std::string_view data, SConfig* list, uint32_t count) {
  Reader in = At(data);
  uint32_t index = 0;
  const bool read = EachElement(in, [&](Reader& at) {
    std::optional<uint32_t> parameter, value;
    const bool entry = EachMember(at, [&](std::string_view name, Reader& member) {
      if (name == "parameter") return (parameter = ReadU32(member)).has_value();
      if (name == "value") return (value = ReadU32(member)).has_value();
      return member.Skip(), true;
    });
    if (!entry || !parameter || !value || index >= count) return false;
    if (list[index].Parameter != *parameter) return false;
    list[index++].Value = *value;
    return true;
  });
  return read && Done(in) && index == count;
}

std::optional<std::vector<uint8_t>> ReadFirstMessageBytes(std::string_view data) {
  Reader in = At(data);
  std::optional<std::vector<uint8_t>> bytes;
  const bool read = EachElement(in, [&](Reader& at) {
    return EachMember(at, [&](std::string_view name, Reader& member) {
      if (name != "data" || bytes) return member.Skip(), true;
      const size_t start = member.pos();
      member.Skip();
      bytes = ReadBytesData(member.text().substr(start, member.pos() - start));
      return bytes.has_value();
    });
  });
  if (!read || !Done(in) || !bytes) return std::nullopt;
  return bytes;
}

}  // namespace tarnix::shim
